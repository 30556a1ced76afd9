// The start and end steps of the library's modules whose procedures this
// program does not use: they prepare data that nothing here reads and make
// control types available to windows.
#include "rovalent_internal.h"

#include <array>
#include <vector>

namespace {

// Serial ports: the settings of up to 255 ports.
struct CommsSettings {
  std::int32_t id, baudRate, flags;
  std::uint16_t reserved;
  std::int16_t xonLimit, xoffLimit;
  std::uint8_t byteSize, parity, stopBits, xonChar, xoffChar, errorChar, eofChar, eventChar;
  std::int16_t txDelay;
  std::uint8_t rlsTimeout, ctsTimeout, dsrTimeout;
};
std::array<CommsSettings, 255> CommsPorts;

void CommsModuleInit() {
  CommsPorts.fill(CommsSettings{});
  rt::ControlTypeRegister(rt::ControlType::StrString);
  rt::ControlTypeRegister(rt::ControlType::String);
}

// Records of the per-thread queues.
struct PidEvent {
  std::int32_t pid = 0, date = 0, time = 0;
  std::string event, type;
  std::int32_t index = 0;
};
struct TaskbarIcon {
  std::uint32_t window = 0, id = 0, shellVersion = 0;
  std::int32_t balloon98Thread = 0;
};
struct TaskbarIconHandle {
  std::uint32_t icon = 0;
  std::string name;
};

// A thread's queues are empty at its start and go at its end.
struct TaskbarQueues {
  std::vector<TaskbarIcon> IQ;
  std::vector<TaskbarIconHandle> IHQ;
};
rt::PerThread<std::vector<PidEvent>> g_pidEventQueue;
rt::PerThread<TaskbarQueues> g_taskbarQueues;

void PidEventThreadInit() {
  g_pidEventQueue.Get().clear();
}

// Taskbar icons and balloons.
std::string TaskbarText;
std::string TaskbarTitle;

void TaskbarModuleInit() {
  TaskbarText = rt::Fixed("", 255);
  TaskbarTitle = rt::Fixed("", 128);
  // The controls of the balloon window.
  rt::ControlTypeRegister(rt::ControlType::Image);
  rt::ControlTypeRegister(rt::ControlType::Box);
  rt::ControlTypeRegister(rt::ControlType::Button);
  rt::ControlTypeRegister(rt::ControlType::Prompt);
}
void TaskbarThreadInit() {
  g_taskbarQueues.Get() = TaskbarQueues{};
}

void ControlsModuleInit() {
  rt::ControlTypeRegister(rt::ControlType::Image);
  rt::ControlTypeRegister(rt::ControlType::Prompt);
}

}  // namespace

const rt::Module RovalentCommsModule{"ds_rvComms", CommsModuleInit};
const rt::Module RovalentPidEventModule{.name = "pid_events", .threadInit = PidEventThreadInit};
const rt::Module RovalentTaskbarModule{
    .name = "ds_rvTaskbar", .moduleInit = TaskbarModuleInit, .threadInit = TaskbarThreadInit};
const rt::Module RovalentControlsModule{"controls", ControlsModuleInit};
