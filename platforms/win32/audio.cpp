// The audio stream: a looping DirectSound ring of silence, 16-bit stereo at
// 48000 Hz. The board's sound is not emulated; the ring's play position is
// the clock the start-up measurement times display frames against.
#include "platforms/win32/win32_host.h"

#include <cstdio>
#include <cstring>

LPDIRECTSOUND directSound;
LPDIRECTSOUNDBUFFER primarySoundBuffer;
LPDIRECTSOUNDBUFFER audioRing;

namespace {
constexpr DWORD sampleRate = 48000;
constexpr DWORD ringBytes = 48000;
constexpr LONG playingVolume = -2000;
constexpr DWORD ringFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME |
                            DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GLOBALFOCUS |
                            DSBCAPS_GETCURRENTPOSITION2;

WAVEFORMATEX sampleFormat() {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = sampleRate;
    format.nAvgBytesPerSec = sampleRate * 4;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    return format;
}
} // namespace

void openAudioStream() {
    if (FAILED(DirectSoundCreate(nullptr, &directSound, nullptr))) {
        win32FatalError("Can't create DirectSound Intterface!");
    }
    if (FAILED(directSound->SetCooperativeLevel(mainWindow, DSSCL_PRIORITY))) {
        win32FatalError("Can't set DirectSound Cooperative Level!");
    }
    DSBUFFERDESC primary{};
    primary.dwSize = sizeof primary;
    primary.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (FAILED(directSound->CreateSoundBuffer(&primary, &primarySoundBuffer, nullptr))) {
        win32FatalError("Can't create Primary Sound Buffer!");
    }
    WAVEFORMATEX format = sampleFormat();
    if (FAILED(primarySoundBuffer->SetFormat(&format))) {
        win32FatalError("Can't set Primary Sound Buffer format!");
    }
    WAVEFORMATEX granted{};
    if (FAILED(primarySoundBuffer->GetFormat(&granted, sizeof granted, nullptr))) {
        win32FatalError("Can't get Primary Sound Buffer format!");
    }
    std::printf("Sound: %dHz, %dbit, %d channels\n", static_cast<int>(granted.nSamplesPerSec),
                granted.wBitsPerSample, granted.nChannels);
    std::printf("Audiobuffer size: 0x%X\n", static_cast<unsigned>(ringBytes));

    DSBUFFERDESC ring{};
    ring.dwSize = sizeof ring;
    ring.dwFlags = ringFlags;
    ring.dwBufferBytes = ringBytes;
    ring.lpwfxFormat = &format;
    if (FAILED(directSound->CreateSoundBuffer(&ring, &audioRing, nullptr))) {
        win32FatalError("Can't create Secondary Sound Buffer!");
    }
    DSCAPS caps{};
    caps.dwSize = sizeof caps;
    directSound->GetCaps(&caps);
    if (caps.dwFlags & DSCAPS_EMULDRIVER)
        std::printf("Auido driver not found, sound is EMULATED!\n");
    audioRing->SetVolume(playingVolume);

    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0, secondBytes = 0;
    const HRESULT locked =
        audioRing->Lock(0, ringBytes, &first, &firstBytes, &second, &secondBytes, 0);
    if (FAILED(locked)) {
        std::printf("Lock Buffer Error %X,", static_cast<unsigned>(locked));
    } else {
        if (first) std::memset(first, 0, firstBytes);
        if (second) std::memset(second, 0, secondBytes);
        if (FAILED(audioRing->Unlock(first, firstBytes, second, secondBytes))) {
            win32FatalError("Can't release Secondary Sound Buffer!");
        }
    }
    const HRESULT played = audioRing->Play(0, 0, DSBPLAY_LOOPING);
    if (FAILED(played)) std::printf("Play Buffer Error %X", static_cast<unsigned>(played));
}

void muteAudio() {
    if (audioRing) audioRing->SetVolume(DSBVOLUME_MIN);
}

bool audioPlayPosition(uint32_t* bytes) {
    DWORD play = 0;
    if (!audioRing || FAILED(audioRing->GetCurrentPosition(&play, nullptr))) return false;
    *bytes = play;
    return true;
}
