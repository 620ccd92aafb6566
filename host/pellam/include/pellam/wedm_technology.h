// Host CAM core: the wire-EDM technology defaults record.
//
// What the library relies on: the record holds eight machine-control events,
// and each event has three numeric fields and two integer fields besides its
// texts and remaining fields.  Stand-in choices, not the host's: the types
// and names below, one text field and one further field standing for the
// texts and the remaining fields of an event, the opaque parts of the record
// around the events, and the guard words that bracket the record.
#pragma once

#include <cstddef>

const unsigned int WE_TECHNOLOGY_FRONT_GUARD = 0x3c6ef372u;
const unsigned int WE_TECHNOLOGY_BACK_GUARD = 0xa54ff53au;
const int WE_MACHINE_CNTL_EVENT_COUNT = 8;

struct WE_MACHINE_CNTL_EVENT_s {
    double values[3];  // the three numeric fields
    int codes[2];      // the two integer fields
    char text[32];     // stand-in: the event's texts
    double further;    // stand-in: the event's remaining fields
};

struct WE_TECHNOLOGY_DEFAULT_s {
    unsigned int front_guard;
    unsigned char before_events[64];  // stand-in: the technology fields before the events
    WE_MACHINE_CNTL_EVENT_s events[WE_MACHINE_CNTL_EVENT_COUNT];
    unsigned char after_events[64];   // stand-in: the technology fields after the events
    unsigned int back_guard;
};
