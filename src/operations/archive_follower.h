#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

#include "register/recovery_journal.h"

class Form1;

namespace clivara::operations {

// Read-only, the window follows the archive that another desk changes. When the file is
// replaced (another desk's save), it is read again and the window shows the new register,
// the customer on screen included; when nobody holds the archive any more, the user is told
// once and asked whether to change it now (Yes the default). A network folder does not
// deliver file notifications, so besides watching, the file and the locks are looked at
// every second: a stat of each, nothing read until the file has changed.
class ArchiveFollower : public QObject {
    Q_OBJECT

  public:
    // switchToChanging: run when the user says Yes; true when the window now changes the
    // archive (then the follower stops). offerWhenFree: false where the archive was opened
    // read-only for a reason a look cannot see go (a folder that cannot be written).
    ArchiveFollower(Form1& form, std::function<bool()> switchToChanging, bool offerWhenFree,
                    std::chrono::milliseconds interval = std::chrono::milliseconds(1000));

    // One look at the archive and its locks; the timer's and the watcher's work.
    void check();
    bool following() const { return timer_.isActive(); }

  private:
    bool reload();
    bool archiveIsFree() const;
    void watchFiles();

    Form1& form_;
    std::function<bool()> switchToChanging_;
    bool offerWhenFree_;
    QFileSystemWatcher watcher_;
    QTimer timer_;
    std::optional<customers::ArchiveIdentity> loaded_;  // the file the window shows
    bool toldFree_ = false;
    bool checking_ = false;
};

}  // namespace clivara::operations
