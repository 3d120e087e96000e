#include "platform/linux/http/CurlFileDownloader.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/linux/files/FileDescriptor.h"
#include "platform/linux/http/CurlNoProxy.h"

namespace tavlo {
namespace {

using Kind = FileDownloadOutcome::Kind;

std::string systemError(const std::string& what, int error) { return what + " (" + std::strerror(error) + ")."; }

}  // namespace

struct CurlFileDownloader::Transfer final : FileDownloadTask {
    FileDownloadRequest request;
    Progress progress;
    Completion completion;
    std::atomic<bool> cancelRequested{false};
    std::atomic<bool> finished{false};
    std::thread thread;

    // Touched by the transfer's own thread only.
    int fd = -1;
    std::uint64_t startOffset = 0;   // bytes in the file when the request went out
    std::uint64_t bytesInFile = 0;
    bool bodyStarted = false;
    int writeError = 0;
    std::optional<std::uint64_t> totalBytes;
    std::chrono::steady_clock::time_point lastReport{};
    std::uint64_t reportedBytes = 0;

    // The last owner may be the transfer's own thread (its completion let go
    // of the downloader): that thread cannot wait for itself, and ends on its own.
    ~Transfer() override {
        if (!thread.joinable()) return;
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }

    void cancel() override { cancelRequested.store(true); }

    void report(bool always) {
        const auto now = std::chrono::steady_clock::now();
        // A few reports a second are plenty for a progress bar.
        if (!always && now - lastReport < std::chrono::milliseconds(100)) return;
        lastReport = now;
        reportedBytes = bytesInFile;
        if (progress) progress({bytesInFile, totalBytes});
    }

    // The first bytes of the final response decide where they go: a part
    // (206) continues the file, a whole body (200) replaces it.
    bool beginBody(CURL* easy) {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_off_t length = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        std::uint64_t base = startOffset;
        if (status != 206) {
            if (::ftruncate(fd, 0) != 0) {
                writeError = errno;
                return false;
            }
            base = 0;
        }
        if (::lseek(fd, static_cast<off_t>(base), SEEK_SET) < 0) {
            writeError = errno;
            return false;
        }
        bytesInFile = base;
        if (length >= 0) totalBytes = base + static_cast<std::uint64_t>(length);
        bodyStarted = true;
        return true;
    }

    static size_t onBody(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        const size_t length = size * count;
        if (self->cancelRequested.load()) return 0;
        if (!self->bodyStarted && !self->beginBody(self->easy)) return 0;
        size_t written = 0;
        while (written < length) {
            const ssize_t result = ::write(self->fd, data + written, length - written);
            if (result < 0) {
                if (errno == EINTR) continue;
                self->writeError = errno;
                return 0;
            }
            written += static_cast<size_t>(result);
        }
        self->bytesInFile += length;
        self->report(false);
        return length;
    }

    // Called now and then even while nothing arrives: the last bytes of a
    // burst are reported here, and a cancellation is noticed.
    static int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto* self = static_cast<Transfer*>(user);
        if (self->cancelRequested.load()) return 1;
        if (self->bytesInFile != self->reportedBytes) self->report(false);
        return 0;
    }

    CURL* easy = nullptr;

    FileDownloadOutcome run(const std::string& noProxy) {
        fd = ::open(request.file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return {Kind::failed, 0, systemError("Could not open " + request.file.string(), errno), 0};
        Descriptor file(fd);
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
            return {Kind::failed, 0, "Could not write " + request.file.string() + ": it is not a plain file.", 0};
        startOffset = bytesInFile = static_cast<std::uint64_t>(info.st_size);
        report(true);

        easy = curl_easy_init();
        char errorBuffer[CURL_ERROR_SIZE] = {};
        const std::string range = std::to_string(startOffset) + "-";
        curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.c_str());
        curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 30000L);
        // Stalled: under one byte a second for the whole stall time.
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.stallSeconds + 0.5));
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        // Asked for by hand: curl's own resume refuses a server that sends the whole file.
        if (startOffset > 0) curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
        const CURLcode code = curl_easy_perform(easy);
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_cleanup(easy);
        easy = nullptr;

        FileDownloadOutcome outcome{Kind::completed, static_cast<int>(status), {}, 0};
        if (code == CURLE_OK) {
            if (!bodyStarted && status != 206) {
                // An empty whole body still replaces what the file held.
                if (::ftruncate(fd, 0) == 0) bytesInFile = 0;
            }
        } else if (cancelRequested.load()) {
            outcome = {Kind::cancelled, 0, "The download was stopped.", 0};
        } else if (writeError != 0) {
            outcome = {Kind::failed, 0, systemError("Could not write " + request.file.string(), writeError), 0};
        } else if (code == CURLE_HTTP_RETURNED_ERROR && status == 416 && startOffset > 0) {
            // Nothing is left to send: the file already holds the whole.
            outcome = {Kind::completed, static_cast<int>(status), {}, 0};
        } else if (code == CURLE_HTTP_RETURNED_ERROR) {
            outcome = {Kind::httpStatus, static_cast<int>(status),
                       "The server answered with HTTP status " + std::to_string(status) + ".", 0};
        } else if (code == CURLE_PARTIAL_FILE || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR ||
                   code == CURLE_GOT_NOTHING || code == CURLE_OPERATION_TIMEDOUT) {
            outcome = {Kind::connectionLost, 0, "The network connection was lost.", 0};
        } else {
            outcome = {Kind::failed, 0, *errorBuffer ? errorBuffer : curl_easy_strerror(code), 0};
        }
        if (outcome.kind == Kind::completed && ::fsync(fd) != 0)
            outcome = {Kind::failed, 0, systemError("Could not write " + request.file.string(), errno), 0};
        if (!file.close() && outcome.kind == Kind::completed)
            outcome = {Kind::failed, 0, systemError("Could not write " + request.file.string(), errno), 0};
        report(true);
        outcome.bytesInFile = bytesInFile;
        return outcome;
    }
};

CurlFileDownloader::CurlFileDownloader() {
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CurlFileDownloader::~CurlFileDownloader() {
    std::vector<std::shared_ptr<Transfer>> transfers;
    {
        std::lock_guard lock(mutex_);
        transfers.swap(transfers_);
    }
    for (auto& transfer : transfers) transfer->cancel();
    // Each transfer waits for its thread as it goes (see ~Transfer).
}

std::shared_ptr<FileDownloadTask> CurlFileDownloader::download(FileDownloadRequest request, Progress progress,
                                                               Completion completion) {
    auto transfer = std::make_shared<Transfer>();
    transfer->request = std::move(request);
    transfer->progress = std::move(progress);
    transfer->completion = std::move(completion);
    std::lock_guard lock(mutex_);
    // Threads of finished downloads are joined here, so they never pile up.
    std::erase_if(transfers_, [](const std::shared_ptr<Transfer>& old) { return old->finished.load(); });
    Transfer* raw = transfer.get();
    // The thread keeps its transfer alive until it has finished with it.
    raw->thread = std::thread([raw, keep = transfer, noProxy = curlNoProxyList()]() mutable {
        FileDownloadOutcome outcome = raw->cancelRequested.load()
                                          ? FileDownloadOutcome{Kind::cancelled, 0, "The download was stopped.", 0}
                                          : raw->run(noProxy);
        auto completion = std::move(raw->completion);
        raw->completion = nullptr;
        raw->progress = nullptr;
        if (completion) completion(std::move(outcome));
        raw->finished.store(true);
        keep.reset();
    });
    transfers_.push_back(transfer);
    return transfer;
}

}  // namespace tavlo
