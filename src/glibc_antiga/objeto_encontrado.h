/* What glibc 2.35 added and the statically linked runtime of g++ 12 expects from the C library,
 * declared for builds against an older glibc (see glibc_antiga.c). x86 only: the layout is that
 * of glibc's <dlfcn.h> on x86-64 and i386, where only i386 has the eh_dbase member. */
#ifndef PONTE_GLIBC_ANTIGA_OBJETO_ENCONTRADO_H
#define PONTE_GLIBC_ANTIGA_OBJETO_ENCONTRADO_H

#include <dlfcn.h>

#if defined(DLFO_STRUCT_HAS_EH_DBASE)
#error "this C library has _dl_find_object: the old-glibc build is only for glibc before 2.35"
#endif
#if !defined(__x86_64__) && !defined(__i386__)
#error "the old-glibc build knows the layout of struct dl_find_object on x86 only"
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct link_map;

/* glibc 2.35's struct dl_find_object, field for field. */
struct dl_find_object {
    unsigned long long dlfo_flags;
    void* dlfo_map_start; /* the object's mapping: from its first segment's page */
    void* dlfo_map_end;   /* to the end of its last segment */
    struct link_map* dlfo_link_map;
    void* dlfo_eh_frame; /* its PT_GNU_EH_FRAME segment, or null */
#if defined(__i386__)
    void* dlfo_eh_dbase; /* base of DW_EH_PE_datarel values: the object's DT_PLTGOT */
    unsigned int dlfo_eh_dbase_pad;
#endif
    unsigned long long dlfo_reserved[7];
};

/* 0 and *resultado filled when an object loaded in the process maps `endereco`, -1 otherwise. */
int _dl_find_object(void* endereco, struct dl_find_object* resultado);

#ifdef __cplusplus
}
#endif

#endif
