// The descriptor table: constant data the host walks to the all-zero terminator.
#include "plugin/plugin.h"

namespace {

const DecoderPluginEntry kDecoderTable[2] = {
    {VELAPNG_W("PNG"),
     {'P', 'N', 'G', ' '},
     0,
     &Image32LoadFile,
     &ImageGetInfo,
     &GetImageMetaValue,
     &Image32LoadFromMemData,
     &ImageGetInfoFromMemData,
     &GetImageMetaValueFromMemData,
     &ReleaseImageMetaValue},
    {},
};

}  // namespace

extern "C" const DecoderPluginEntry* GetImageDecoderPluginArray() { return kDecoderTable; }
