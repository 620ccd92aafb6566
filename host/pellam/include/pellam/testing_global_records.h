// Test controls of the global parameter records (<pellam/global_records.h>).
// Not part of the host's interface.
#pragma once

#include <string>
#include <vector>

namespace pellam_test {

// Fills every byte of every global record with `pattern`, writes the guard
// words and takes a snapshot.
void fill_global_records(unsigned char pattern);
// Zero records with their guards, the identity work coordinate system in
// `globat`, and a snapshot: the state each test starts from.
void reset_global_records();
// Takes a snapshot of all records as they are now (after a test set units or
// a work coordinate system, say).
void snapshot_global_records();
// Names of the records whose bytes differ from the snapshot, in the order of
// the header's declarations.
std::vector<std::string> touched_global_records();
// Names of the records with a guard word that is not its guard value.
std::vector<std::string> broken_global_record_guards();

}  // namespace pellam_test
