#include "platform/linux/files/FilePreferenceStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <glib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <optional>
#include <thread>

#include "base/BoundedJson.h"

namespace tavlo {

// Holds an advisory lock on the settings folder while one process reads,
// changes and writes the file, so two programs saving at once do not drop each
// other's change. Nothing is written without it: when another process keeps
// it past the wait (a stopped or hung writer), the change is refused.
class FolderLock {
public:
    enum class State { locked, noFolder, refused };

    FolderLock(const std::filesystem::path& directory, std::chrono::milliseconds wait)
        : fd_(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ < 0) {
            // No folder: nothing can be written either, the change stays in memory.
            state_ = errno == ENOENT || errno == ENOTDIR ? State::noFolder : State::refused;
            problem_ = std::strerror(errno);
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                state_ = State::locked;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) {
                problem_ = std::strerror(errno);
                return;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                problem_ = "another program has held it for " +
                           std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count()) +
                           " seconds";
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    State state() const { return state_; }
    const std::string& problem() const { return problem_; }

private:
    int fd_;
    State state_ = State::refused;
    std::string problem_;
};

namespace {

using Json = nlohmann::ordered_json;

std::string base64(const std::string& bytes) {
    gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string text(encoded);
    g_free(encoded);
    return text;
}

std::string fromBase64(const std::string& text) {
    gsize length = 0;
    guchar* decoded = g_base64_decode(text.c_str(), &length);
    std::string bytes(reinterpret_cast<const char*>(decoded), length);
    g_free(decoded);
    return bytes;
}

Json toFileForm(const PreferenceValue& value) {
    struct Visitor {
        Json operator()(bool flag) const { return flag; }
        Json operator()(double number) const { return number; }
        Json operator()(const std::string& text) const { return text; }
        Json operator()(const std::vector<std::string>& list) const { return list; }
        Json operator()(const Date& date) const { return Json{{"date", secondsSinceReferenceDate(date)}}; }
        Json operator()(const BinaryData& data) const {
            if (auto parsed = parseBoundedJson<Json>(data.bytes)) return Json{{"data", std::move(*parsed)}};
            return Json{{"base64", base64(data.bytes)}};
        }
    };
    return std::visit(Visitor{}, value);
}

std::optional<PreferenceValue> fromFileForm(const Json& value) {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) return value.get<double>();
    if (value.is_string()) return value.get<std::string>();
    if (value.is_array()) {
        bool allText = true;
        for (const auto& element : value) allText = allText && element.is_string();
        if (allText) return value.get<std::vector<std::string>>();
    }
    if (value.is_object() && value.size() == 1) {
        const auto only = value.begin();
        const std::string& tag = only.key();
        const Json& inner = only.value();
        if (tag == "data") return BinaryData{inner.dump()};
        if (tag == "base64" && inner.is_string()) return BinaryData{fromBase64(inner.get<std::string>())};
        if (tag == "date" && inner.is_number()) return dateFromReferenceSeconds(inner.get<double>());
    }
    // A record written by hand (an object, or a list of objects) is read as its JSON.
    if (value.is_object() || value.is_array()) return BinaryData{value.dump()};
    return std::nullopt;  // null
}

// A settings file that is a symbolic link (dotfiles kept in a repository) is
// replaced where the link points, so the link stays.
std::filesystem::path writeTarget(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) return path;
    const auto resolved = std::filesystem::weakly_canonical(path, error);
    return error ? path : resolved;
}

}  // namespace

FilePreferenceStore::FilePreferenceStore(std::filesystem::path directory, Reporter report,
                                         std::chrono::milliseconds lockWait)
    : directory_(std::move(directory)), path_(directory_ / fileName), report_(std::move(report)), lockWait_(lockWait) {
    std::lock_guard lock(mutex_);
    refresh();
}

bool FilePreferenceStore::keepsChangesInMemory() const {
    std::lock_guard lock(mutex_);
    return unsaved_ || changedWhileUnreadable_;
}

int FilePreferenceStore::refusedChanges() const {
    std::lock_guard lock(mutex_);
    return refusedChanges_;
}

std::optional<PreferenceValue> FilePreferenceStore::object(std::string_view key) {
    std::lock_guard lock(mutex_);
    refresh();
    const auto found = document_.find(std::string(key));
    if (found == document_.end()) return std::nullopt;
    return fromFileForm(*found);
}

void FilePreferenceStore::set(std::string_view key, PreferenceValue value) { change(key, value); }

void FilePreferenceStore::remove(std::string_view key) { change(key, std::nullopt); }

bool FilePreferenceStore::keepAside(std::string_view key) {
    std::lock_guard lock(mutex_);
    refresh();
    // A file that is never written over keeps the value itself.
    if (protectFile_ || unreadable_) return true;
    const auto found = document_.find(std::string(key));
    if (found == document_.end()) return true;
    std::string error;
    if (!ensureDirectory(directory_, 0700, error)) return false;
    const std::string text = found->dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    const auto keptAs = writeCopyBeside(path_, std::string(key) + ".unreadable", text, error);
    if (!keptAs) {
        report_("the stored " + std::string(key) + " could not be read whole nor kept aside (" + error +
                "); it was not replaced");
        return false;
    }
    report_("the stored " + std::string(key) + " could not be read whole; it was kept as " + keptAs->string() +
            " before being replaced");
    return true;
}

bool FilePreferenceStore::lockFolder(std::string_view what, std::optional<FolderLock>& held) {
    if (protectFile_ || transactionDepth_ > 0) return true;
    // The folder must exist to be locked; if it cannot be made, save()
    // says so and the change lives in memory.
    std::string ignored;
    ensureDirectory(directory_, 0700, ignored);
    held.emplace(directory_, lockWait_);
    if (held->state() != FolderLock::State::refused) return true;
    ++refusedChanges_;
    report_("cannot save settings: the lock on " + directory_.string() + " could not be taken (" + held->problem() +
            "); " + std::string(what) + " was not changed");
    return false;
}

void FilePreferenceStore::transaction(std::string_view what, const std::function<void()>& body) {
    std::lock_guard lock(mutex_);
    std::optional<FolderLock> folderLock;
    if (!lockFolder(what, folderLock)) return;
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } depth(transactionDepth_);
    body();
}

void FilePreferenceStore::change(std::string_view key, const std::optional<PreferenceValue>& value) {
    std::lock_guard lock(mutex_);
    std::optional<FolderLock> folderLock;
    if (!lockFolder(key, folderLock)) return;
    refresh();
    if (value)
        document_[std::string(key)] = toFileForm(*value);
    else
        document_.erase(std::string(key));
    save();
}

void FilePreferenceStore::refresh() {
    // Changes that could not be saved stay authoritative; reloading would lose them.
    if (unsaved_) return;
    const auto identity = currentIdentity(path_);
    if (identity == loaded_) return;
    // Still the version that could not be read: it was judged already.
    if (identity && identity == unreadable_) return;

    // An editor rewriting the file in place leaves it half written for a
    // moment: a file that does not read is read again before it is judged.
    FileRead read;
    std::string problem;
    std::optional<Json> parsed;
    for (int attempt = 0;; ++attempt) {
        read = readWholeFile(path_);
        if (read.status == FileRead::Status::missing || read.status == FileRead::Status::cannotOpen) break;
        problem = read.error;
        if (read.status == FileRead::Status::ok) {
            parsed = parseBoundedJson<Json>(read.contents, &problem);
            if (parsed && !parsed->is_object()) {
                parsed.reset();
                problem = "it does not hold a JSON object";
            }
        }
        if (parsed || attempt == unreadableRereads) break;
        std::this_thread::sleep_for(unreadableRereadWait);
    }

    const bool wasUnreadable = unreadable_.has_value();
    unreadable_.reset();
    changedWhileUnreadable_ = false;  // the file as it is now wins
    if (read.status == FileRead::Status::missing) {
        document_ = Json::object();
        loaded_.reset();
        return;
    }
    if (read.status == FileRead::Status::cannotOpen) {
        // Not damaged, only out of reach (its permissions, say): it stays where
        // it is, untouched for the rest of the run.
        document_ = Json::object();
        loaded_.reset();
        unsaved_ = true;
        protectFile_ = true;
        reportedUnsaved_ = true;
        report_("the settings file " + path_.string() + " cannot be opened (" + read.error +
                "); it is left as it is, the defaults are used and changes are kept in memory while the "
                "program runs");
        return;
    }
    if (parsed) {
        document_ = std::move(*parsed);
        loaded_ = read.identity;
        return;
    }

    // Not written to for a long time: no write is going on, the file is
    // damaged. It is moved aside (nothing of it is lost) and the program goes
    // on with the values it last read whole, or the defaults.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const bool recentlyWritten = now.tv_sec - read.identity.modified.tv_sec <
                                 std::chrono::duration_cast<std::chrono::seconds>(damagedFileAge).count();
    if (!recentlyWritten) {
        loaded_.reset();
        std::string error;
        if (const auto keptAs = tavlo::keepAside(path_, error)) {
            report_("the settings file " + path_.string() + " could not be read (" + problem +
                    "); it was kept as " + keptAs->string() + " and the defaults are used");
            return;
        }
        // It could not be moved: never write over it, so nothing of it is lost.
        unsaved_ = true;
        protectFile_ = true;
        reportedUnsaved_ = true;
        report_("the settings file " + path_.string() + " could not be read (" + problem +
                ") nor kept aside (" + error + "); the defaults are used and changes are kept in memory");
        return;
    }

    // Written to lately (an editor or a script may be writing it now): it is
    // left as it is and never written over; the values last read whole stay
    // in use, and changes live in memory until the file reads whole again.
    unreadable_ = read.identity;
    if (wasUnreadable) return;  // said already
    report_("the settings file " + path_.string() + " could not be read (" + problem +
            "); it is left as it is, " +
            (loaded_ ? "the values last read from it are used" : std::string("the defaults are used")) +
            " and changes are kept in memory until it can be read again");
}

void FilePreferenceStore::save() {
    if (protectFile_) return;  // already said that changes stay in memory
    if (unreadable_) {
        changedWhileUnreadable_ = true;  // already said too
        return;
    }
    std::string error;
    if (ensureDirectory(directory_, 0700, error)) {
        const std::string text = document_.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
        const auto target = writeTarget(path_);
        // Safe under the folder lock: every writer takes it, and a copy this
        // old belongs to no write that is still going on.
        removeStaleWriteCopies(target, staleWriteCopyAge);
        const FileWrite written = replaceFileAtomically(target, text);
        if (written.ok) {
            loaded_ = written.identity;
            unsaved_ = false;
            return;
        }
        error = written.error;
    }
    unsaved_ = true;
    if (reportedUnsaved_) return;
    reportedUnsaved_ = true;
    report_("cannot save settings in " + directory_.string() + " (" + error +
            "); changes are kept in memory while the program runs");
}

}  // namespace tavlo
