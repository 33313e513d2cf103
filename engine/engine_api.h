// Call shapes of the outside speech engine's entry points.
//
// The engine is two libraries, AquesTalk.dll (synthesis) and AquesTalkDa.dll
// (playback), whose entry points use the Windows stdcall convention and are
// exported under their plain names. Integers are 32-bit signed; texts are
// zero-terminated byte strings handed over without conversion.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define SAORI_ENGINE_CALL __stdcall
#else
#define SAORI_ENGINE_CALL
#endif

namespace saori {

// Synthesizes `text` at `speed`; returns a waveform buffer owned by the
// engine and writes its byte count to `size`, or returns null on failure.
using AquesTalkSyntheFunction = unsigned char*(SAORI_ENGINE_CALL*)(const char* text,
                                                                   std::int32_t speed,
                                                                   std::int32_t* size);

// Gives back a buffer returned by AquesTalk_Synthe.
using AquesTalkFreeWaveFunction = void(SAORI_ENGINE_CALL*)(unsigned char* wave);

// Speaks `text` at `speed` and returns when done: 0, or an error number.
using AquesTalkDaPlaySyncFunction = std::int32_t(SAORI_ENGINE_CALL*)(const char* text,
                                                                    std::int32_t speed);

}  // namespace saori
