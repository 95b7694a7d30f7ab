#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace clivara::operations {

// Turns SIGTERM, SIGHUP and SIGINT into a call of onSignal from the event loop (the signal
// handler only writes the signal's number into a pipe that a QSocketNotifier watches), so
// that the archive can be saved before the program ends. One instance at a time; the
// previous handlers come back when it is destroyed.
class ShutdownSignals : public QObject {
    Q_OBJECT

  public:
    explicit ShutdownSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~ShutdownSignals() override;

    // False when the pipe or a handler could not be set up.
    bool installed() const { return installed_; }

  private:
    void readPending();
    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

}  // namespace clivara::operations
