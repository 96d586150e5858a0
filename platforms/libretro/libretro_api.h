// The part of the libretro interface (API version 1) this core uses, declared
// here: the records the frontend and the core hand each other, the callback
// types, the environment commands, input devices and ids, and the exported
// functions. Layouts are those of the C structs on the platforms we build for.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

constexpr unsigned retroApiVersion = 1;

// Environment commands.
constexpr unsigned retroEnvExperimental = 0x10000;
constexpr unsigned retroEnvGetCanDupe = 3;
constexpr unsigned retroEnvSetPixelFormat = 10;
constexpr unsigned retroEnvSetInputDescriptors = 11;
constexpr unsigned retroEnvSetKeyboardCallback = 12;
constexpr unsigned retroEnvGetVariable = 15;
constexpr unsigned retroEnvSetVariables = 16;
constexpr unsigned retroEnvGetVariableUpdate = 17;
constexpr unsigned retroEnvSetSupportNoGame = 18;
constexpr unsigned retroEnvGetLogInterface = 27;
constexpr unsigned retroEnvSetSystemAvInfo = 32;
constexpr unsigned retroEnvSetGeometry = 37;
constexpr unsigned retroEnvGetInputBitmasks = 51 | retroEnvExperimental;

constexpr int retroPixelFormatXrgb8888 = 1;

// Input devices and their ids.
constexpr unsigned retroDeviceJoypad = 1;
constexpr unsigned retroDeviceKeyboard = 3;
constexpr unsigned retroDeviceAnalog = 5;

constexpr unsigned retroJoypadB = 0;
constexpr unsigned retroJoypadY = 1;
constexpr unsigned retroJoypadStart = 3;
constexpr unsigned retroJoypadUp = 4;
constexpr unsigned retroJoypadDown = 5;
constexpr unsigned retroJoypadLeft = 6;
constexpr unsigned retroJoypadRight = 7;
constexpr unsigned retroJoypadA = 8;
constexpr unsigned retroJoypadMask = 256;

constexpr unsigned retroAnalogLeftStick = 0;
constexpr unsigned retroAnalogX = 0;
constexpr unsigned retroAnalogY = 1;

// Keyboard ids (the frontend's key numbers).
constexpr unsigned retroKeyReturn = 13;
constexpr unsigned retroKeyPause = 19;
constexpr unsigned retroKeySpace = 32;
constexpr unsigned retroKeyT = 116;
constexpr unsigned retroKeyUp = 273;
constexpr unsigned retroKeyDown = 274;
constexpr unsigned retroKeyRight = 275;
constexpr unsigned retroKeyLeft = 276;
constexpr unsigned retroKeyScrollLock = 302;
constexpr unsigned retroKeyLeftCtrl = 306;
constexpr unsigned retroKeyPrint = 316;

constexpr unsigned retroMemorySystemRam = 2;

enum retro_log_level { RETRO_LOG_DEBUG = 0, RETRO_LOG_INFO, RETRO_LOG_WARN, RETRO_LOG_ERROR };

typedef bool (*retro_environment_t)(unsigned cmd, void* data);
typedef void (*retro_video_refresh_t)(const void* data, unsigned width, unsigned height,
                                      size_t pitch);
typedef void (*retro_audio_sample_t)(int16_t left, int16_t right);
typedef size_t (*retro_audio_sample_batch_t)(const int16_t* data, size_t frames);
typedef void (*retro_input_poll_t)(void);
typedef int16_t (*retro_input_state_t)(unsigned port, unsigned device, unsigned index, unsigned id);
typedef void (*retro_log_printf_t)(enum retro_log_level level, const char* fmt, ...);
typedef void (*retro_keyboard_event_t)(bool down, unsigned keycode, uint32_t character,
                                       uint16_t key_modifiers);

struct retro_game_info {
    const char* path;
    const void* data;
    size_t size;
    const char* meta;
};

struct retro_system_info {
    const char* library_name;
    const char* library_version;
    const char* valid_extensions;
    bool need_fullpath;
    bool block_extract;
};

struct retro_game_geometry {
    unsigned base_width;
    unsigned base_height;
    unsigned max_width;
    unsigned max_height;
    float aspect_ratio;
};

struct retro_system_timing {
    double fps;
    double sample_rate;
};

struct retro_system_av_info {
    retro_game_geometry geometry;
    retro_system_timing timing;
};

struct retro_log_callback {
    retro_log_printf_t log;
};

struct retro_keyboard_callback {
    retro_keyboard_event_t callback;
};

struct retro_variable {
    const char* key;
    const char* value;
};

struct retro_input_descriptor {
    unsigned port;
    unsigned device;
    unsigned index;
    unsigned id;
    const char* description;
};

#ifdef _WIN32
#define KORVALO_RETRO_API __declspec(dllexport)
#else
#define KORVALO_RETRO_API __attribute__((visibility("default")))
#endif

KORVALO_RETRO_API void retro_set_environment(retro_environment_t);
KORVALO_RETRO_API void retro_set_video_refresh(retro_video_refresh_t);
KORVALO_RETRO_API void retro_set_audio_sample(retro_audio_sample_t);
KORVALO_RETRO_API void retro_set_audio_sample_batch(retro_audio_sample_batch_t);
KORVALO_RETRO_API void retro_set_input_poll(retro_input_poll_t);
KORVALO_RETRO_API void retro_set_input_state(retro_input_state_t);
KORVALO_RETRO_API void retro_init(void);
KORVALO_RETRO_API void retro_deinit(void);
KORVALO_RETRO_API unsigned retro_api_version(void);
KORVALO_RETRO_API void retro_get_system_info(struct retro_system_info* info);
KORVALO_RETRO_API void retro_get_system_av_info(struct retro_system_av_info* info);
KORVALO_RETRO_API void retro_set_controller_port_device(unsigned port, unsigned device);
KORVALO_RETRO_API void retro_reset(void);
KORVALO_RETRO_API void retro_run(void);
KORVALO_RETRO_API size_t retro_serialize_size(void);
KORVALO_RETRO_API bool retro_serialize(void* data, size_t size);
KORVALO_RETRO_API bool retro_unserialize(const void* data, size_t size);
KORVALO_RETRO_API void retro_cheat_reset(void);
KORVALO_RETRO_API void retro_cheat_set(unsigned index, bool enabled, const char* code);
KORVALO_RETRO_API bool retro_load_game(const struct retro_game_info* game);
KORVALO_RETRO_API bool retro_load_game_special(unsigned type, const struct retro_game_info* info,
                                               size_t num);
KORVALO_RETRO_API void retro_unload_game(void);
KORVALO_RETRO_API unsigned retro_get_region(void);
KORVALO_RETRO_API void* retro_get_memory_data(unsigned id);
KORVALO_RETRO_API size_t retro_get_memory_size(unsigned id);

} // extern "C"

static_assert(sizeof(void*) != 8 || sizeof(retro_game_info) == 32, "retro_game_info layout");
static_assert(sizeof(void*) != 8 || sizeof(retro_system_info) == 32, "retro_system_info layout");
static_assert(sizeof(retro_game_geometry) == 20, "retro_game_geometry layout");
static_assert(offsetof(retro_system_av_info, timing) == 24, "retro_system_av_info layout");
static_assert(sizeof(void*) != 8 || sizeof(retro_input_descriptor) == 24,
              "retro_input_descriptor layout");
