// Host session context: the work part.
#pragma once

typedef unsigned int tag_t;

// The work part of the session (the part set by harlow_test::set_work_part).
tag_t CONTEXT_ask_work_part();
