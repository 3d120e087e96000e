// A Qt window with one focused line edit, for accessibility tests.
//
// Arguments: --text HEX (UTF-8 as hexadecimal), --selection START END (UTF-16
// units), optionally --refuse-paste and --password. Prints "ready" once the
// window is active and the field focused with its selection in place.
// Answers "state" on standard input with "state START END HEX", and ends on
// "quit" or at the end of its input.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

class Field : public QLineEdit {
public:
    bool refusesPaste = false;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (refusesPaste && event->matches(QKeySequence::Paste)) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QString text;
    int start = 0, end = 0;
    bool refusesPaste = false, password = false;
    const QStringList arguments = application.arguments();
    for (int index = 1; index < arguments.size(); ++index) {
        const QString& argument = arguments[index];
        if (argument == "--text" && index + 1 < arguments.size())
            text = QString::fromUtf8(QByteArray::fromHex(arguments[++index].toLatin1()));
        else if (argument == "--selection" && index + 2 < arguments.size()) {
            start = arguments[++index].toInt();
            end = arguments[++index].toInt();
        } else if (argument == "--refuse-paste")
            refusesPaste = true;
        else if (argument == "--password")
            password = true;
    }

    Field field;
    field.setWindowTitle("Tavlo test line edit");
    field.refusesPaste = refusesPaste;
    if (password) field.setEchoMode(QLineEdit::Password);
    field.setText(text);
    field.resize(400, 40);
    field.show();
    field.activateWindow();

    // Ready once the window is active and the field has the focus.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!field.isActiveWindow() || !field.hasFocus()) return;
        poll.stop();
        if (start == end)
            field.setCursorPosition(start);
        else
            field.setSelection(start, end - start);
        std::printf("ready\n");
        std::fflush(stdout);
    });
    poll.start(20);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[256];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            application.quit();
            return;
        }
        pending.append(chunk, static_cast<std::size_t>(got));
        for (auto newline = pending.find('\n'); newline != std::string::npos; newline = pending.find('\n')) {
            const std::string line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (line == "quit") {
                application.quit();
            } else if (line == "state") {
                int from = field.cursorPosition(), to = from;
                if (field.hasSelectedText()) {
                    from = field.selectionStart();
                    to = field.selectionEnd();
                }
                std::printf("state %d %d %s\n", from, to, field.text().toUtf8().toHex().constData());
                std::fflush(stdout);
            }
        }
    });
    return application.exec();
}
