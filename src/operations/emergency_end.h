#pragma once

class Form1;

namespace clivara::operations {

class ArchiveLock;

// Ends that bypass the event loop: the platform plugin calls exit() when the connection to
// the display breaks, and a fatal Qt message aborts. While an instance lives, both save the
// archive as a signal does (the workbook layer needs no display) and remove the lock files;
// what cannot be saved stays in the journal of the changes. One instance at a time.
class EmergencyEnd {
  public:
    EmergencyEnd(Form1& form, ArchiveLock& lock);
    ~EmergencyEnd();
    EmergencyEnd(const EmergencyEnd&) = delete;
    EmergencyEnd& operator=(const EmergencyEnd&) = delete;
};

}  // namespace clivara::operations
