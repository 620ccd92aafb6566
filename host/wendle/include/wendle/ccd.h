// Host customer defaults.
#pragma once

// The site prefix of CAM-exit environment variables, or null when the
// customer defaults set none.
const char* CCD_ask_cam_env_var_prefix();
