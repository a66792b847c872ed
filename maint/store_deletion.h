// Deleting a handheld's store file together with the files SQLite keeps
// beside it, without harming another program that is using the store.
#pragma once

#include <string>

#include "platform/status.h"

// The files SQLite may keep beside a store at path: its rollback journal,
// its write-ahead log and that log's shared memory.
inline constexpr const char* kStoreCompanionSuffixes[] = {"-journal", "-wal", "-shm"};

// Deletes the store file at path and its companions. A companion left behind
// would be taken by SQLite for part of the next store of that name, which
// would then show the deleted store's pages or be corrupt.
//
// While another program is inside a transaction on the store, waits for it
// (SQLite's busy timeout); when it is still inside after that, nothing is
// deleted. A store that is missing already counts as deleted. Ok when
// neither the store nor a companion remains; otherwise a failure
// (Status::kFailed) with the system's (or SQLite's) reason.
Status DeleteStoreFiles(const std::string& path);
