// Embedded files. Unpacking is not built yet: the class path stays as configured.
#include "launcher/embedded_files.h"

void extract_embedded_files()
{
}
