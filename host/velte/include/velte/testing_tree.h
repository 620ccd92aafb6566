// Test controls of the tree stand-in (<velte/tree.h>).  Not part of the
// host's interface.
#pragma once

#include <string>
#include <vector>

namespace velte_test {

// Tree calls since the last reset: "create", "add_sister", "add_daughter",
// "scan", "delete", "insert_daughter", "move_sister_node", "remove_sister",
// "remove_branch".
const std::vector<std::string>& tree_calls();
void reset_tree_calls();
// Refused tree calls since the last reset (of reset_tree_calls).
long tree_invalid_calls();

}  // namespace velte_test
