#pragma once

#include <QApplication>
#include <functional>

namespace loadstar {

// The application object. An exception that escapes an event handler is caught here, where it
// leaves the event loop, instead of unwinding through the toolkit: it is shown in the exception
// box, any sector pass is asked to stop, and the event loop ends, so the program ends (exit code
// 0) once the running handlers have returned.
class LoadstarApplication : public QApplication {
    Q_OBJECT

  public:
    using ExceptionReporter = std::function<void(const QString& text)>;

    LoadstarApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // How the exception box is shown; by default a QMessageBox with a critical icon. Tests
    // record it instead.
    void setExceptionReporter(ExceptionReporter reporter) {
        reportException_ = std::move(reporter);
    }

    // Asks the windows' work to stop (exceptionCaught), shows `text` in the exception box and
    // ends the event loop.
    void handleException(const QString& text);

  signals:
    // An exception reached the event loop: any sector pass and any test run should stop.
    void exceptionCaught();

  private:
    ExceptionReporter reportException_;
};

}  // namespace loadstar
