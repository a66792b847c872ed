// Every contact with the handheld: connect, identify the handheld, make sure
// its store exists, remove invoiced records from it and, in full mode,
// synchronize; the state of the synchronization dialog without its window.
#pragma once

#include <string>

#include "sync/ce_platform.h"
#include "sync/sync_view.h"

class SyncProcedure {
 public:
  enum class Outcome {
    Finished,         // ran to its end: the dialog beeps and closes itself
    NotConnected,     // no connection could be made
    StoreNotCreated,  // the handheld's store could not be created
    NameUnreadable,   // the handheld's name could not be read or used
    LinkLost,         // the handheld went away part-way: the dialog stays open
    Locked,           // the handheld is locked, and no password it takes was given
  };

  // How long the connection attempt may take.
  static constexpr int kConnectTimeoutMs = 5000;

  // Starts a fresh debug log ("SD creator").
  SyncProcedure(CePlatform& platform, SyncView& view, bool updateOnly);

  // Runs the whole procedure once. Ends the connection whenever an attempt
  // was started.
  Outcome Run();

  // The handheld's name as a file name (blanks and "/" as underscores), ""
  // until read; the owner; the store file.
  const std::string& deviceName() const { return deviceName_; }
  const std::string& ownerName() const { return ownerName_; }
  const std::string& storePath() const { return storePath_; }
  bool updateOnly() const { return updateOnly_; }
  // True when the run showed a message about a failure (a record not
  // copied, the store refusing a statement), even if it ran to its end.
  bool errorsReported() const { return errorsReported_; }

  // The name read from the handheld as a store file name: blanks and "/" as
  // underscores; "" for a name of only dots (or none).
  static std::string DeviceFileName(const std::string& handheldName);

 private:
  // A locked handheld is asked for its password first; false (the status
  // says why) when it stays locked.
  bool Unlock();
  bool Connect();
  bool ReadHandheldName(std::string* name);
  bool ReadOwnerName(std::string* owner);
  // Says once, as a message and as the status left showing, that the
  // handheld went away part-way.
  void LinkLost();

  CePlatform& platform_;
  SyncView& view_;
  bool updateOnly_;
  bool connected_ = false;
  bool errorsReported_ = false;
  std::string deviceName_;
  std::string ownerName_;
  std::string storePath_;
};
