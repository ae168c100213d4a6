// Log collector (placeholder until the collector lands): only the hooks the
// loader needs.
#pragma once

// Installs the collector's callback as the media library's log callback.
void InstallLibraryLogCallback();
// Restores the library's default callback before avutil is unloaded.
void RemoveLibraryLogCallback();
