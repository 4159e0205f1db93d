// Accesses, modes, commit and recovery of a FileStore.
//
// An access runs from the header sync that takes the access lock to
// EndAccess, which commits and releases it. A store is in reader mode
// (reader lock, no changes) or writer mode (writer lock).
//
// A commit cannot be left half done by a crash. Changed pages whose slots
// lie below the data end of the committed state are first written, with the
// new header as the last block, into a log behind the data; the header at
// offset 0 is then marked with the log's extent (log start != log end):
//
//   offset 0                 old data end     log start           log end
//   +--------+---------------+ ... new pages ... +------+-----+------------+
//   | header | pages         |   written home    | page | ... | new header |
//   +--------+---------------+                   +------+-----+------------+
//
// Only then are the logged pages copied home and the header finalized (marks
// cleared, change count raised). Whoever next syncs a marked header either
// reads through the log (reader mode) or copies it home (writer mode); a log
// cut short is dropped and the state before the commit stands.
#pragma once

#include <cstdint>

namespace vantrose {

class FileStore;

// Switches to writer mode; ends a reader access first. A store that has been
// reading past a pending log finishes (or drops) that log before it changes
// anything.
int EnterWriteMode(FileStore& store);
// Commits and switches to reader mode (nothing while enlisted).
int LeaveWriteMode(FileStore& store);
// Commits, then releases the access lock of the current mode.
int EndAccess(FileStore& store);

// Both commit phases; answers phase 1's result (0, or the write error, after
// which the changes are abandoned).
int Commit(FileStore& store);
// Phase 1 writes the log and marks the header at offset 0; phase 2 copies the
// logged pages home and finalizes the header. Split for commits that span
// files: nothing is done while the store is enlisted (a transaction clears
// the flag before it runs the phases), and a phase 1 whose log is already
// marked waits for its phase 2.
int CommitPhase1(FileStore& store);
void CommitPhase2(FileStore& store);
// Commit, then drop every cached page.
int CommitAndDrop(FileStore& store);
// Forgets every uncommitted change; releases the commit lock if held.
void Abandon(FileStore& store);
// EndAccess, CommitAndDrop, close the file. Answers the commit's result.
int StoreClose(FileStore& store);

// Cuts the file after its data (skipped while enlisted): never below the
// data end of the committed state on disk or a pending log, and never on a
// file without a header yet. Report 1143 when the sync fails.
void TrimFile(FileStore& store);

// Finishes or drops the pending log described by the header copy just read
// from offset 0 (the sync calls this when log start != log end).
void RecoverLog(FileStore& store);

}  // namespace vantrose
