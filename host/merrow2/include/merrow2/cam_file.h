// CAM files of the sibling library libmerrow2: the same CAM_FILE_ interface
// as the sorrel stand-in's, from the same sources.
#pragma once

#include <sorrel/cam_file.h>
