#pragma once

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

namespace Orbanex {

class TableFormatter;

// One registered thread name: the thread that claimed it last, its tasks and its last
// resource-usage sample.
struct ThreadInfo {
    typedef std::deque<std::string> TaskList;

    ThreadInfo();

    pid_t lwp;                // kernel thread id; 0 until registerThread
    pthread_t tid;            // POSIX thread id; 0 until registerThread
    uint64_t serial;          // ThreadRegistry::threadSerial() of that thread; 0 until then
    bool ended;               // that thread has ended: its ids may belong to another thread now
    std::string name;         // the registered name
    std::string displayName;  // shown instead of name when set; nothing sets it
    TaskList tasks;           // task names, in order of registration
    bool active;              // from registerThread until unregisterThread
    rusage ru;                // last sample; every byte 0xFF until the first
    std::string lastUpdate;   // time of that sample, "NA" before it ("" when never registered)
};

typedef boost::shared_ptr<ThreadInfo> ShpThreadInfo;
typedef std::map<std::string, ShpThreadInfo> MapThreadInfo;
typedef std::map<std::string, std::string> TaskTopicMap;

// Process-wide register of named threads, their tasks and the queue topics of tasks, plus a few
// controls of the calling thread.
//
// Thread ids are reused by the system once a thread has ended, so a record remembers which
// thread registered it by a serial number that is never reused, and is marked ended when that
// thread ends: a name is never inherited by a later thread that happens to get the same id.
//
// Threads: every operation except setAffinity, setPriority, installTerminationHandler and
// threadSerial runs under the registry's mutex, a plain mutex held for that operation only and
// never while calling out, so it orders with no other lock. The maps exist from first use until
// exit; finalize() empties them.
class ThreadRegistry {
  public:
    static void initialize();
    static void finalize();

    // Registers the calling thread under name (creating the record or moving the name to this
    // thread) and marks it active with no usage sample yet.
    static void registerThread(const std::string& name);
    // Marks the record inactive; its name still resolves in getName.
    static void unregisterThread(const std::string& name);
    // Appends a task to the thread's list, creating a record for an unknown thread name.
    static void registerTask(const std::string& threadname, const std::string& taskname);
    // Removes the first copy of the task from the thread's list.
    static void unregisterTask(const std::string& threadname, const std::string& taskname);
    // A copy of the thread's task list; empty for an unknown thread name.
    static ThreadInfo::TaskList getTasks(const std::string& threadname);
    // Records the queue topic of a task; a task keeps its first topic.
    static void registerQueue(const std::string& topic, const std::string& taskname);

    // The name registered by the live thread tid, or "N/A" (also for a thread that registered a
    // name and has ended). The reference stays valid until finalize().
    static const std::string& getName(pthread_t tid);
    // The name registered by the thread of that serial number (see threadSerial), also once it
    // has ended, as long as no other thread has taken the name over; else "N/A". For a reader
    // that learns of a thread after the fact (the logger thread). Valid until finalize().
    static const std::string& getName(pthread_t tid, uint64_t serial);
    // A number for the calling thread that no other thread of the process ever gets; never 0.
    // No lock.
    static uint64_t threadSerial();

    // Pins the calling thread to cpus; the sched_setaffinity result (0, or -1 with errno).
    static int setAffinity(const cpu_set_t& cpus);
    // Sets the calling thread's nice value to -prio; the setpriority result (0, or -1 with
    // errno: raising a priority needs privilege).
    static int setPriority(int prio);

    // Columns name, lwp, tid, core, updateTime, utime, stime, minflt, majflt, nvcsw, nivcsw; one
    // row per record in name order. Returns the title "Threads".
    static std::string dumpDebug(TableFormatter& fmtr);

    // Replaces the terminate handler by one that swallows the pending exception, waits a second
    // and aborts.
    static void installTerminationHandler();

    // Samples the calling thread's resource usage into the record of name.
    static void updateThreadStats(const std::string& name);
};

}  // namespace Orbanex
