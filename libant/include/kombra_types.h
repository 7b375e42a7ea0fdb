/* Fixed-width types shared by every KOMBRA library. */
#pragma once

#include <cstdint>

typedef char KOMBRA_CHAR;        /* 8-bit character */
typedef uint8_t KOMBRA_UCHAR;    /* 8-bit unsigned */
typedef int16_t KOMBRA_SHORT;    /* 16-bit signed */
typedef uint16_t KOMBRA_USHORT;  /* 16-bit unsigned */
typedef int32_t KOMBRA_LONG;     /* 32-bit signed, whatever the platform's long */
typedef uint32_t KOMBRA_ULONG;   /* 32-bit unsigned */
typedef float KOMBRA_FLOAT;      /* 32-bit IEEE float */
typedef double KOMBRA_DOUBLE;    /* 64-bit IEEE double */

typedef enum : int { sFalse = 0, sTrue = 1 } KOMBRA_BOOL;
