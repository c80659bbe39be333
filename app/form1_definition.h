// The window Form1 as its designer stored it: the window's own properties and
// its fifteen controls with their classes, containers, geometry in twips,
// design captions, fonts, focus order, pictures and connected events.
#pragma once

#include "runtime/window_system.h"

#include <cstddef>

namespace quorvex::app {

// The controls' places in the definition, in the order it lists them.
enum Form1Control : std::size_t {
    kOption1,
    kOption4,
    kOption3,
    kOption2,
    kText2,
    kText1,
    kCommand1,
    kFrame1,
    kFrame2,
    kImage2,
    kLabel2,
    kImage1,
    kLabel4,
    kLabel1,
    kLabel3,
    kControlCount
};

const runtime::FormDefinition& Form1Definition();

}  // namespace quorvex::app
