// Test controls of the object manager, the hash tables and the persistent
// string memory of the libstend stand-in.  Not part of the host's interface.
#pragma once

#include <stend/om.h>

#include <string>
#include <vector>

namespace stend_test {

// Names of the registered classes, in registration order.
std::vector<std::string> om_class_names();
// The name list a class registered with.
std::vector<std::string> om_class_names_of(Korvo::OM::ClassId id);
// Live objects of a class (its subclasses not counted), and of all classes.
long om_live_objects(Korvo::OM::ClassId id);
long om_live_objects_total();
// Live object-manager strings (a string deleted inside a transaction is no
// longer live, though its memory is held until the transaction ends).
long om_live_strings();

// Transactions: OM__log snapshots an object at its first log inside one;
// undo writes every snapshot back into its object (if still live).  Ending
// either way frees the strings held since the start.
void om_begin_transaction();
void om_end_transaction();
void om_undo_transaction();
bool om_in_transaction();
// OM__log calls for the object, and in all, since the last om_reset.
int om_log_calls(const Korvo::OM::Object* object);
int om_log_calls_total();

// Generic save and restore: the attributes of the object's class and its
// parents, by type code; pointers as object ids (an id no live object has
// restores as null).  Restore makes the object through its class.
std::string om_save(const Korvo::OM::Object* object);
Korvo::OM::Object* om_restore(const std::string& data);

// Ends an open transaction, forgets the log counts and the no-log marks, and
// turns off the chosen failures of hash tables and persistent memory.
void om_reset();

// Hash tables made and not yet deleted; the next create fails when asked.
long rt_hash_live_tables();
void rt_hash_fail_next_create(bool fail = true);
int rt_hash_init_calls();

// Persistent string memory: live blocks; the allocation `countdown` calls
// from now (1 = the next) fails, 0 turns that off.
long sm_persistent_live();
void sm_persistent_fail_at(int countdown);

}  // namespace stend_test
