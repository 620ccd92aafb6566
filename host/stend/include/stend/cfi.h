// Host file services: text files read line by line.  The result codes follow
// the host convention: 0 is success, anything else a CFI error number.
#pragma once

struct CFI_file_s;
typedef CFI_file_s* CFI_file_t;

// Opens a file.  mode 1 reads; the two middle arguments are the host's
// access and sharing words and are not used by the stand-in.  0 and the file
// handle on success, else an error number and a null handle.
int CFI_open_file(const char* path, int mode, int access, int share, CFI_file_t* file);
// The next line, whole and without its '\n' (any '\r' kept), in host string
// memory (SM_alloc) that the caller frees with SM_free; null at the end of the
// file or for a null handle.
char* CFI_read_line(CFI_file_t file);
// Closes the file; 0 on success.
int CFI_close_file(CFI_file_t file);
// 0 when a file of that path exists (the host convention), else non-zero.
int CFI_ask_file_exist(const char* path);
