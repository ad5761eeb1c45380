/*
 * cmpios.h - platform glue for the CMPI 2.0 interface: symbol export and
 * the thread/mutex/condition handle types used by the broker's
 * threading services.
 *
 * Written for Linux with GCC (or a GCC-compatible compiler), where the
 * CIMOMs we care about load provider libraries.
 */
#ifndef _CMPIOS_H_
#define _CMPIOS_H_

#include <stddef.h>

/*
 * Code written against other CMPI header sets selects the platform with
 * this macro on the command line.  Nobody here should have to remember it,
 * so pick it up automatically.  Without it CMPI_EXPORT would be empty and
 * a library built with -fvisibility=hidden would hide its factories from
 * the CIMOM's dlsym().
 */
#if !defined(CMPI_PLATFORM_LINUX_GENERIC_GNU) && defined(__linux__)
#define CMPI_PLATFORM_LINUX_GENERIC_GNU 1
#endif

#if defined(CMPI_PLATFORM_LINUX_GENERIC_GNU) && defined(__GNUC__) && \
    (__GNUC__ >= 4)
#define CMPI_EXPORT __attribute__((visibility("default")))
#define CMPI_IMPORT __attribute__((visibility("default")))
#else
#define CMPI_EXPORT
#define CMPI_IMPORT
#endif

#ifdef __cplusplus
#define CMPI_EXTERN_C extern "C" CMPI_EXPORT
#else
#define CMPI_EXTERN_C CMPI_EXPORT
#endif

/*
 * Threading handles are opaque pointers owned by the broker.  They are
 * macros rather than typedefs because they are spliced into declarators
 * such as CMPI_THREAD_RETURN (CMPI_THREAD_CDECL *start)(void *).
 */
#define CMPI_THREAD_RETURN void *
#define CMPI_THREAD_TYPE void *
#define CMPI_MUTEX_TYPE void *
#define CMPI_COND_TYPE void *
#define CMPI_THREAD_CDECL

/*
 * Both CIMOMs implement the thread-key services with a 4-byte key
 * (pthread_key_t on Linux); an 8-byte key on x86_64 would pass garbage in
 * the upper half.
 */
#define CMPI_THREAD_KEY_TYPE unsigned int

#endif /* _CMPIOS_H_ */
