#pragma once
// Downloads to a file through libcurl, each on a thread of its own (they are
// rare and long, so nothing is gained by sharing one). Progress and the
// completion run on that thread.
#include <memory>
#include <mutex>
#include <vector>

#include "platform/FileDownloader.h"

namespace tavlo {

class CurlFileDownloader final : public FileDownloader {
public:
    CurlFileDownloader();
    // Downloads still running are cancelled; each still completes, on its own thread.
    ~CurlFileDownloader() override;

    CurlFileDownloader(const CurlFileDownloader&) = delete;
    CurlFileDownloader& operator=(const CurlFileDownloader&) = delete;

    std::shared_ptr<FileDownloadTask> download(FileDownloadRequest request, Progress progress,
                                               Completion completion) override;

    struct Transfer;

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<Transfer>> transfers_;
};

}  // namespace tavlo
