// The x64 layout of every record exchanged with SAPI, pinned so that a change of a
// declaration or of a compiler's packing fails the build instead of corrupting a call.
#include "SAPI5DDI.h"

#include <cstddef>

static_assert(sizeof(void*) == 8, "the engine is a 64-bit COM server");

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(offsetof(WAVEFORMATEX, wFormatTag) == 0);
static_assert(offsetof(WAVEFORMATEX, nChannels) == 2);
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4);
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8);
static_assert(offsetof(WAVEFORMATEX, nBlockAlign) == 12);
static_assert(offsetof(WAVEFORMATEX, wBitsPerSample) == 14);
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16);

static_assert(sizeof(SPVACTIONS) == 4);
static_assert(sizeof(SPVSTATE) == 72);
static_assert(offsetof(SPVSTATE, eAction) == 0);
static_assert(offsetof(SPVSTATE, LangID) == 4);
static_assert(offsetof(SPVSTATE, EmphAdj) == 8);
static_assert(offsetof(SPVSTATE, RateAdj) == 12);
static_assert(offsetof(SPVSTATE, Volume) == 16);
static_assert(offsetof(SPVSTATE, PitchAdj) + offsetof(SPVPITCH, MiddleAdj) == 20);
static_assert(offsetof(SPVSTATE, PitchAdj) + offsetof(SPVPITCH, RangeAdj) == 24);
static_assert(offsetof(SPVSTATE, SilenceMSecs) == 28);
static_assert(offsetof(SPVSTATE, pPhoneIds) == 32);
static_assert(offsetof(SPVSTATE, ePartOfSpeech) == 40);
static_assert(offsetof(SPVSTATE, Context) == 48);

static_assert(sizeof(SPVTEXTFRAG) == 96);
static_assert(offsetof(SPVTEXTFRAG, pNext) == 0);
static_assert(offsetof(SPVTEXTFRAG, State) == 8);
static_assert(offsetof(SPVTEXTFRAG, pTextStart) == 80);
static_assert(offsetof(SPVTEXTFRAG, ulTextLen) == 88);
static_assert(offsetof(SPVTEXTFRAG, ulTextSrcOffset) == 92);

static_assert(sizeof(SPEVENT) == 32);
static_assert(offsetof(SPEVENT, eEventId) == 0);
static_assert(offsetof(SPEVENT, elParamType) == 2);
static_assert(offsetof(SPEVENT, ulStreamNum) == 4);
static_assert(offsetof(SPEVENT, ullAudioStreamOffset) == 8);
static_assert(offsetof(SPEVENT, wParam) == 16);
static_assert(offsetof(SPEVENT, lParam) == 24);
