#include "engine/FFmpegLogger.h"

#include "engine/FFmpegApi.h"

void InstallLibraryLogCallback() { FF.av_log_set_callback(FF.av_log_default_callback); }
void RemoveLibraryLogCallback() { FF.av_log_set_callback(FF.av_log_default_callback); }
