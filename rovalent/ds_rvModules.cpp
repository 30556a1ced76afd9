// The start and end steps of the library's modules whose procedures this
// program does not use: they prepare data that nothing here reads and make
// control types available to windows.
#include "rovalent.h"

#include <array>
#include <map>
#include <mutex>
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

// A thread's queues live from its start steps to its end steps. They are
// kept by thread id rather than in thread-local objects, whose destructors
// would run after this toolchain has freed the thread's thread-local storage.
struct TaskbarQueues {
  std::vector<TaskbarIcon> IQ;
  std::vector<TaskbarIconHandle> IHQ;
};
std::mutex g_queuesMutex;
std::map<DWORD, std::vector<PidEvent>> g_pidEventQueues;
std::map<DWORD, TaskbarQueues> g_taskbarQueues;

void PidEventThreadInit() {
  std::lock_guard lock(g_queuesMutex);
  g_pidEventQueues[::GetCurrentThreadId()].clear();
}
void PidEventThreadTerm() {
  std::lock_guard lock(g_queuesMutex);
  g_pidEventQueues.erase(::GetCurrentThreadId());
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
  std::lock_guard lock(g_queuesMutex);
  TaskbarQueues& queues = g_taskbarQueues[::GetCurrentThreadId()];
  queues.IQ.clear();
  queues.IHQ.clear();
}
void TaskbarThreadTerm() {
  std::lock_guard lock(g_queuesMutex);
  g_taskbarQueues.erase(::GetCurrentThreadId());
}

void ControlsModuleInit() {
  rt::ControlTypeRegister(rt::ControlType::Image);
  rt::ControlTypeRegister(rt::ControlType::Prompt);
}

}  // namespace

const rt::Module RovalentCommsModule{"ds_rvComms", CommsModuleInit};
const rt::Module RovalentPidEventModule{"pid_events", nullptr, nullptr, PidEventThreadInit,
                                        PidEventThreadTerm};
const rt::Module RovalentTaskbarModule{"ds_rvTaskbar", TaskbarModuleInit, nullptr,
                                       TaskbarThreadInit, TaskbarThreadTerm};
const rt::Module RovalentControlsModule{"controls", ControlsModuleInit};
