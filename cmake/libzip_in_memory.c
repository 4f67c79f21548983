/* What libzip's archives over files and its traditional PKWARE encryption
 * would give, for the build of libzip that reads and writes archives in
 * memory alone (cmake/zip.cmake): each refuses, as libzip does a source or
 * a method it was built without. Their own sources are left out, and with
 * them what they import (ADVAPI32's cryptography, on Windows). */
#include "zipint.h"

zip_source_t* zip_source_file_create(const char* name, zip_uint64_t start, zip_int64_t length,
                                     zip_error_t* error) {
    (void)name;
    (void)start;
    (void)length;
    zip_error_set(error, ZIP_ER_OPNOTSUPP, 0);
    return NULL;
}

static zip_source_t* no_encryption(zip_t* archive) {
    zip_error_set(&archive->error, ZIP_ER_ENCRNOTSUPP, 0);
    return NULL;
}

zip_source_t* zip_source_pkware_decode(zip_t* archive, zip_source_t* source, zip_uint16_t method,
                                       int flags, const char* password) {
    (void)source;
    (void)method;
    (void)flags;
    (void)password;
    return no_encryption(archive);
}

zip_source_t* zip_source_pkware_encode(zip_t* archive, zip_source_t* source, zip_uint16_t method,
                                       int flags, const char* password) {
    (void)source;
    (void)method;
    (void)flags;
    (void)password;
    return no_encryption(archive);
}

#ifdef KOLORVANE_ZIP_UNDATED
#include <time.h>

/* The local time of an entry's date, which fails, so that libzip writes
 * 1980-01-01 00:00 in every time zone. */
struct tm* kolorvane_zip_no_localtime_r(const time_t* time, struct tm* result) {
    (void)time;
    (void)result;
    return NULL;
}
#endif
