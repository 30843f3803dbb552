#include "app/application.h"

#include <malloc.h>

int main(int argc, char **argv)
{
    // Picture buffers come and go with every file shown; give the large ones
    // their own mappings so that freeing them returns the memory at once,
    // instead of glibc keeping it in the heap for the rest of the run.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    return app::run(argc, argv);
}
