// Identification banner of the pass-through library: four lines of a box,
// found in the binary by "what"-style tools and printed by the programs.
#include "tavpas_internal.h"

TAVPTH_API const char tavpth_rcsid0[TAVPTH_RCSID_SIZE] =
    "+---------------------------------------------------------------------+";
TAVPTH_API const char tavpth_rcsid1[TAVPTH_RCSID_SIZE] =
    "| Copyright (C) Morvane Corporation. All rights reserved.             |";
TAVPTH_API const char tavpth_rcsid2[TAVPTH_RCSID_SIZE] =
    "| libtavpth - Morvane RAID adapter pass-through library version 5.0   |";
TAVPTH_API const char tavpth_rcsid3[TAVPTH_RCSID_SIZE] =
    "+---------------------------------------------------------------------+";
