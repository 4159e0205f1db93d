// The integrity checker: reads a table file as it stands on disk (through
// the store's file, so a password applies) and lists every broken invariant
// of the header, the page images, the page tree and the zones:
//
//  - header: signature, size 512, a sound zone table (zone 0 and the start of
//    zone 1 at 0, whole pages per zone, zones in order without overlap);
//    no pending log unless one is expected. When the store reads past a
//    pending log (it met the log in reader mode), the state checked is the
//    one it reads: the logged header, and logged pages at their log places;
//  - pages: each lies in a zone, on a slot boundary of it, in the zone of its
//    image size, with its own home offset; no slot is used twice and no slot
//    of a zone is left unused;
//  - tree: levels fall by one from the root to the leaves; keys strictly
//    increase within and across pages; every index entry is a key copy equal
//    to its child's first key; no page but the root is empty; the first
//    record of the file is the empty record.
//
// The checker never changes the file or the store's cache. Damage that the
// image parser reports is listed, not raised.
#pragma once

#include <string>
#include <vector>

namespace vantrose {

class FileStore;

struct IntegrityOptions {
  bool pending_log_expected = false;
};

// The problems found, in the order met; empty for a sound file.
std::vector<std::string> CheckIntegrity(FileStore& store, const IntegrityOptions& options = {});

}  // namespace vantrose
