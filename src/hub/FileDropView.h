#pragma once
// The Transcribe section's drop area: takes the first local file dropped on
// it (from a file manager, or through the desktop portal) and hands it on.
// The type of the file is not judged here; the transcription says whether it
// can read it.
#include <QFrame>
#include <QMimeData>

#include <filesystem>
#include <functional>
#include <vector>

namespace tavlo::hub {

class FileDropView : public QFrame {
public:
    explicit FileDropView(QWidget* parent = nullptr);

    std::function<void(const std::filesystem::path& file)> onFileDropped;

    // The local files a drag carries, in its order.
    static std::vector<std::filesystem::path> fileURLs(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

}  // namespace tavlo::hub
