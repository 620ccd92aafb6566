// The end of a section pass, shared by the engines that drive IGeomSec: an
// error is held while the pass is closed and the engine deleted, then raised
// again by the caller.
#pragma once

#include <merrow1/IGeomSec.h>
#include <stend/error.h>

#include <exception>

namespace merrow1 {

// The error being handled, a standard exception as Korvo::Error::Severe.
inline std::exception_ptr current_error_as_severe() {
    try {
        throw;
    } catch (const Korvo::Error::Exception&) {
        return std::current_exception();
    } catch (const std::exception& e) {
        Korvo::Error::Severe severe;
        severe.Convert(e);
        return std::make_exception_ptr(severe);
    } catch (...) {
        return std::current_exception();
    }
}

// Ends the pass (when `mark` is given) and deletes the engine.  An error of
// PostSection is handed back, not raised, so that the engine is deleted.
inline std::exception_ptr close_section_pass(Korvo::Cam::IGeomSec* engine, const int* mark) {
    std::exception_ptr error;
    if (mark) {
        try {
            engine->PostSection(mark);
        } catch (...) {
            error = current_error_as_severe();
        }
    }
    delete engine;
    return error;
}

}  // namespace merrow1
