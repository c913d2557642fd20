// What a program does with its process at start-up, before it opens a file.
#pragma once

namespace orv {

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// no file the program opens later becomes its standard input or output. It
// is opened the other way round (standard input for writing, the outputs for
// reading), so that what the program writes to a closed output still fails
// as it would have, instead of vanishing. First thing in main().
void occupyStandardDescriptors();

// A file-size limit then makes a write fail (and be cut back) instead of
// ending the process. Called once at the start of each program.
void ignoreFileSizeSignal();

}  // namespace orv
