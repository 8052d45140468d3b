/* mytarvo: pak archives of stored or packed files, behind five C functions.
 *
 * Every string is an 8-bit, NUL-terminated path or name; a null pointer behaves as the
 * empty string. No function reports failure: the outcome shows in the file system and,
 * for UnPak, in its result. Calls from several threads at once are safe: they take
 * turns.
 */
#ifndef MYTARVO_MYTARVO_H
#define MYTARVO_MYTARVO_H

#include <stdint.h>

/* 32-bit Windows uses stdcall (the callee removes the arguments); elsewhere the
 * platform's default C convention. */
#if defined(_WIN32) && !defined(_WIN64)
#define MYTARVO_CALL __stdcall
#else
#define MYTARVO_CALL
#endif

#if defined(MYTARVO_STATIC)
#define MYTARVO_API
#elif defined(_WIN32)
#if defined(MYTARVO_BUILDING_LIBRARY)
#define MYTARVO_API /* the export table comes from mytarvo.def alone */
#else
#define MYTARVO_API __declspec(dllimport)
#endif
#else
#define MYTARVO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Appends the file at `source` to the end of the archive as one entry named after the
 * file part of `source`. With `compress` exactly 1 the file is packed when that makes it
 * smaller. `ignored` is not used. Always returns 0. */
MYTARVO_API int32_t MYTARVO_CALL AddToPak(const char *archive, const char *source, const char *ignored,
                                          int32_t compress);

/* Replaces whatever is at `archive` with a new archive holding no entry. Returns 0. */
MYTARVO_API int32_t MYTARVO_CALL CreatePakFile(const char *archive);

/* Writes a text listing of the archive's entries to `listing`. Returns 0. */
MYTARVO_API int32_t MYTARVO_CALL MakeListFiles(const char *archive, const char *listing);

/* Extracts the first entry named exactly `name` into `out_dir` (the current directory
 * when empty) and returns the path written, or "" when nothing matched or the file could
 * not be written whole. The string belongs to the library and stays valid until the
 * calling thread's next call into it. */
MYTARVO_API const char *MYTARVO_CALL UnPak(const char *archive, const char *out_dir, const char *name,
                                           const char *ignored);

/* Extracts every entry into `out_dir` (the current directory when empty). Returns 0. */
MYTARVO_API int32_t MYTARVO_CALL UnPakAll(const char *archive, const char *out_dir, const char *ignored);

#ifdef __cplusplus
}
#endif

#endif /* MYTARVO_MYTARVO_H */
