// Files embedded in the launcher, unpacked into a folder under the temporary directory.
#pragma once

// Unpacks the embedded files and, when there are any, makes them the class path.
void extract_embedded_files();
