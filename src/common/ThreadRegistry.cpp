#include "common/ThreadRegistry.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iterator>

#include "common/TableFormatter.h"
#include "common/TimeUtil.h"
#include "common/Util.h"

namespace Orbanex {

namespace {

struct Registry {
    MapThreadInfo registry;
    TaskTopicMap topicRegistry;
    boost::mutex registryMutex;
    std::terminate_handler previousTerminate = nullptr;
};

// Built on first use, so that registration works from any unit's static initialisers.
Registry& state() {
    static Registry r;
    return r;
}

typedef boost::lock_guard<boost::mutex> Lock;

ShpThreadInfo& findOrCreate(Registry& r, const std::string& name) {
    ShpThreadInfo& info = r.registry[name];
    if (!info) {
        info.reset(new ThreadInfo);
        info->name = name;
    }
    return info;
}

// Marks the records of the calling thread ended when it ends; made by its first registerThread.
struct EndOfThread {
    ~EndOfThread();
};

thread_local uint64_t tls_serial = 0;
std::atomic<uint64_t> gLastSerial{0};

// The name of the first record that matches, or "N/A".
template <class Matches>
const std::string& nameOf(Matches matches) {
    static const std::string NOT_AVAILABLE("N/A");
    Registry& r = state();
    Lock lock(r.registryMutex);
    for (const auto& entry : r.registry) {
        if (matches(*entry.second)) return entry.second->name;
    }
    return NOT_AVAILABLE;
}

// Every byte 0xFF marks "no sample yet": the counters read -1 and hasSample is false.
void clearSample(rusage& ru) { std::memset(&ru, 0xFF, sizeof ru); }

bool hasSample(const rusage& ru) { return ru.ru_utime.tv_usec >= 0; }

// The kernel's id of the calling thread.
pid_t currentLwp() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

// Seconds, a point and the microseconds in six digits; "-1" before the first sample.
std::string cpuTime(const rusage& ru, const timeval& tv) {
    if (!hasSample(ru)) return "-1";
    char buf[32];
    int len = Util::ltoa(static_cast<long>(tv.tv_sec), buf, 10);
    buf[len++] = '.';
    len += Util::ltoa_fixed(static_cast<long>(tv.tv_usec), buf + len, 6, 10, '0');
    return std::string(buf, static_cast<size_t>(len));
}

[[noreturn]] void terminateHandler() {
    if (std::current_exception()) {
        try {
            throw;
        } catch (const std::exception&) {
        } catch (...) {
        }
    }
    ::sleep(1);
    std::abort();
}

}  // namespace

EndOfThread::~EndOfThread() {
    const uint64_t serial = ThreadRegistry::threadSerial();
    Registry& r = state();
    Lock lock(r.registryMutex);
    for (auto& entry : r.registry) {
        if (entry.second->serial == serial) entry.second->ended = true;
    }
}

ThreadInfo::ThreadInfo() : lwp(0), tid(0), serial(0), ended(false), active(false) {
    clearSample(ru);
}

void ThreadRegistry::initialize() {}

void ThreadRegistry::finalize() {
    Registry& r = state();
    Lock lock(r.registryMutex);
    r.registry.clear();
    r.topicRegistry.clear();
}

void ThreadRegistry::registerThread(const std::string& name) {
    static thread_local EndOfThread endOfThread;  // made on the thread's first registration
    const uint64_t serial = threadSerial();
    Registry& r = state();
    Lock lock(r.registryMutex);
    ThreadInfo& info = *findOrCreate(r, name);
    info.lwp = currentLwp();
    info.tid = ::pthread_self();
    info.serial = serial;
    info.ended = false;
    info.active = true;
    clearSample(info.ru);
    info.lastUpdate = "NA";
}

void ThreadRegistry::unregisterThread(const std::string& name) {
    Registry& r = state();
    Lock lock(r.registryMutex);
    auto it = r.registry.find(name);
    if (it != r.registry.end()) it->second->active = false;
}

void ThreadRegistry::registerTask(const std::string& threadname, const std::string& taskname) {
    Registry& r = state();
    Lock lock(r.registryMutex);
    findOrCreate(r, threadname)->tasks.push_back(taskname);
}

void ThreadRegistry::unregisterTask(const std::string& threadname, const std::string& taskname) {
    Registry& r = state();
    Lock lock(r.registryMutex);
    auto it = r.registry.find(threadname);
    if (it == r.registry.end()) return;
    ThreadInfo::TaskList& tasks = it->second->tasks;
    auto task = std::find(tasks.begin(), tasks.end(), taskname);
    if (task != tasks.end()) tasks.erase(task);
}

ThreadInfo::TaskList ThreadRegistry::getTasks(const std::string& threadname) {
    Registry& r = state();
    Lock lock(r.registryMutex);
    auto it = r.registry.find(threadname);
    return it == r.registry.end() ? ThreadInfo::TaskList() : it->second->tasks;
}

void ThreadRegistry::registerQueue(const std::string& topic, const std::string& taskname) {
    Registry& r = state();
    Lock lock(r.registryMutex);
    r.topicRegistry.insert(TaskTopicMap::value_type(taskname, topic));
}

const std::string& ThreadRegistry::getName(pthread_t tid) {
    return nameOf([tid](const ThreadInfo& info) {
        return !info.ended && info.serial != 0 && ::pthread_equal(info.tid, tid);
    });
}

const std::string& ThreadRegistry::getName(pthread_t tid, uint64_t serial) {
    return nameOf([tid, serial](const ThreadInfo& info) {
        return serial != 0 && info.serial == serial && ::pthread_equal(info.tid, tid);
    });
}

uint64_t ThreadRegistry::threadSerial() {
    if (tls_serial == 0) tls_serial = gLastSerial.fetch_add(1, std::memory_order_relaxed) + 1;
    return tls_serial;
}

int ThreadRegistry::setAffinity(const cpu_set_t& cpus) {
    return ::sched_setaffinity(currentLwp(), sizeof(cpu_set_t), &cpus);
}

int ThreadRegistry::setPriority(int prio) { return ::setpriority(PRIO_PROCESS, 0, -prio); }

std::string ThreadRegistry::dumpDebug(TableFormatter& fmtr) {
    const char* const headers[] = {"name",  "lwp",    "tid",    "core",  "updateTime", "utime",
                                   "stime", "minflt", "majflt", "nvcsw", "nivcsw"};
    for (size_t i = 0; i < std::size(headers); ++i) fmtr.setHeader(i, headers[i]);
    Registry& r = state();
    Lock lock(r.registryMutex);
    size_t row = 0;
    for (const auto& entry : r.registry) {
        const ThreadInfo& info = *entry.second;
        fmtr.setCell(row, 0, info.displayName.empty() ? info.name : info.displayName);
        fmtr.setCell(row, 1, static_cast<int>(info.lwp));
        fmtr.setCell(row, 2, static_cast<unsigned int>(info.tid));
        fmtr.setCell(row, 4, info.lastUpdate);
        fmtr.setCell(row, 5, cpuTime(info.ru, info.ru.ru_utime));
        fmtr.setCell(row, 6, cpuTime(info.ru, info.ru.ru_stime));
        fmtr.setCell(row, 7, static_cast<long>(info.ru.ru_minflt));
        fmtr.setCell(row, 8, static_cast<long>(info.ru.ru_majflt));
        fmtr.setCell(row, 9, static_cast<long>(info.ru.ru_nvcsw));
        fmtr.setCell(row, 10, static_cast<long>(info.ru.ru_nivcsw));
        ++row;
    }
    return "Threads";
}

void ThreadRegistry::installTerminationHandler() {
    state().previousTerminate = std::set_terminate(terminateHandler);
}

void ThreadRegistry::updateThreadStats(const std::string& name) {
    rusage ru;
    if (::getrusage(RUSAGE_THREAD, &ru) != 0) return;
    char stamp[32];
    TimeUtil::formatString(TimeUtil::now(), stamp, sizeof stamp, true, false, ':', '.', ',', true);
    Registry& r = state();
    Lock lock(r.registryMutex);
    auto it = r.registry.find(name);
    if (it == r.registry.end()) return;
    it->second->ru = ru;
    it->second->lastUpdate = stamp;
}

}  // namespace Orbanex
