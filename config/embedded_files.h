// Files embedded in the launcher, unpacked into a folder under the temporary directory.
#pragma once

// Unpacks the embedded files. Returns the class path that lists them, a new heap text, when
// there were any and all were unpacked; null when there are none, or after a reported
// failure (the configured class path then stays).
char *unpack_embedded_files();
