// Host CAM files: named files opened for binary or text access (CAM_FILE_
// family).
//
// Every call answers an int status; CAM_FILE_SUCCESS is the only success.  A
// file opened for binary access takes binary reads and writes only, a file
// opened for text access takes text reads only.
#pragma once

#include <cstddef>

struct CAM_FILE_s;

// Statuses.
enum {
    CAM_FILE_SUCCESS = 3010000,
    CAM_FILE_ERR_OPEN = 3010001,           // the file could not be opened
    CAM_FILE_ERR_READ = 3010002,           // fewer bytes than asked for, or a read error
    CAM_FILE_ERR_WRITE = 3010003,          // the bytes could not all be written
    CAM_FILE_END_OF_FILE = 3010004,        // nothing left to read
    CAM_FILE_ERR_ACCESS = 3010005,         // the file was not opened for this kind of access
    CAM_FILE_ERR_LINE_TOO_LONG = 3010006,  // the line does not fit the buffer (the line is consumed)
    CAM_FILE_ERR_ARGUMENT = 3010007,       // null file, null buffer or negative count
};

// Access modes.
enum { CAM_FILE_ACCESS_READ = 0, CAM_FILE_ACCESS_APPEND = 1, CAM_FILE_ACCESS_WRITE = 2 };

// The full file name of `name` in the directory reference, in the host's string
// memory (the caller frees it with SM_free); null for a null name.  A reference
// "$VAR" names an environment variable holding a search path of directories
// separated by ';': the first directory that holds a file of that name wins,
// else the first directory.  An unset or empty variable, and an absolute
// name, give the name unchanged.
char* CAM_FILE_make_filename(const char* directory_ref, const char* name);

int CAM_FILE_open_binary(const char* name, int access, CAM_FILE_s** out);
int CAM_FILE_open_text(const char* name, int access, CAM_FILE_s** out);
// Writes count bytes.
int CAM_FILE_write_binary(CAM_FILE_s* file, int count, const void* data);
// Reads exactly count bytes into the buffer; *read (when given) receives the
// number of bytes actually read.
int CAM_FILE_read_binary(CAM_FILE_s* file, int count, void* buffer, int* read);
// Reads the next line, without its line end, into a buffer of `size` bytes
// (terminated).  CAM_FILE_END_OF_FILE when no line is left.
int CAM_FILE_read_text(CAM_FILE_s* file, char* buffer, size_t size);
// Writes the text as it stands (no line end is added) to a file opened for
// text writing or appending.
int CAM_FILE_write_text(CAM_FILE_s* file, const char* text);
// Closes the file and sets *file to null (null: nothing to close).
int CAM_FILE_close(CAM_FILE_s** file);
