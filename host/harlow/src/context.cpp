// Context stand-in: the session's work part is the one the user-function
// stand-in keeps (harlow_test::set_work_part).
#include <harlow/context.h>
#include <harlow/exit.h>

tag_t CONTEXT_ask_work_part() { return ASSY_ask_work_part(); }
