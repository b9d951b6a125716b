// Engine: TKelvoraSAPI5Engine, the COM object through which SAPI drives the speech engine
// library. SAPI binds it to a voice token (the voice name and "SamplingRate"), asks for its
// output format (16-bit mono PCM; a requested rate of 4000 to 96000 Hz is adopted) and calls
// Speak. It owns its voice and channel in the library and deletes them when it goes.
#pragma once

#include "ComObject.h"
#include "ComPtr.h"
#include "Residency.h"
#include "SAPI5DDI.h"

#include <cstdint>
#include <string>

// {2A76E30B-904F-48ED-A628-CDB91C7B5D1A}
inline constexpr CLSID CLSID_KelvoraSAPI5Engine = {
    0x2A76E30B, 0x904F, 0x48ED, {0xA6, 0x28, 0xCD, 0xB9, 0x1C, 0x7B, 0x5D, 0x1A}};

class TKelvoraSAPI5Engine : public TComClass<ISpObjectWithToken, ISpTTSEngine> {
public:
    ~TKelvoraSAPI5Engine() override;

    // ISpObjectWithToken
    HRESULT STDMETHODCALLTYPE SetObjectToken(ISpObjectToken* pToken) override;
    HRESULT STDMETHODCALLTYPE GetObjectToken(ISpObjectToken** ppToken) override;

    // ISpTTSEngine
    HRESULT STDMETHODCALLTYPE Speak(DWORD dwSpeakFlags, REFGUID rguidFormatId,
                                    const WAVEFORMATEX* pWaveFormatEx,
                                    const SPVTEXTFRAG* pTextFragList,
                                    ISpTTSEngineSite* pOutputSite) override;
    HRESULT STDMETHODCALLTYPE GetOutputFormat(const GUID* pTargetFmtId,
                                              const WAVEFORMATEX* pTargetWaveFormatEx,
                                              GUID* pOutputFormatId,
                                              WAVEFORMATEX** ppCoMemOutputWaveFormatEx) override;

protected:
    TInterfaceTable ClassInterfaces() const override;

    TComPtr<ISpObjectToken> FVoice;

private:
    friend class TComObject;
    friend struct TKelvoraSAPI5EngineProbe; // tests look at the private fields through it
    TKelvoraSAPI5Engine() = default;

    TEngineHandles Library; // VoiceObject, ChannelObject, its rate and the load they belong to
    std::u16string VoiceName;
    std::uint32_t SamplingRate = 0;
};
