// Basic integer types shared by the IPMI library and the providers.
#ifndef VKT_TYPES_H
#define VKT_TYPES_H

#include <stddef.h>
#include <stdint.h>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;

#endif
