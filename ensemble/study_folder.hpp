#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "study.hpp"

// The study's folder: its record, DIR/study.txt, and its lock,
// DIR/study.lock.
//
// study.txt holds the program and its options on its first line, so that a
// folder is never resumed with others, and "replicas R" on the second: the
// largest count any run or plan asked for. The folder's study is of that
// many replicas, whatever a later --replicas says, so that a run and
// collect give the same answer for it.

// Creates the folder if needed (UsageError when it cannot be).
void make_folder(const std::filesystem::path& dir);

// Makes sure the folder can be written and holds no study with other
// options (UsageError otherwise) and records this one. Returns the folder's
// replica count: study.replicas or more. The caller holds the lock.
std::int64_t record_study(const Study& study);

// What study.txt records, when there is one: the first line, and the
// replica count (0 when the line is missing, as before it was kept).
struct FolderRecord {
    std::string description;
    std::int64_t replicas = 0;
};
bool read_record(const std::filesystem::path& dir, FolderRecord& record);

// Whether `dir` holds anything of a study: study.txt, study.lock, or a file
// named as a replica table (finished or not). A folder without any is
// collected without a lock, so that a mistaken `collect` leaves nothing
// behind.
bool holds_study(const std::filesystem::path& dir);

// Holds DIR/study.lock while it lives, so that one process at a time runs
// or collects a study in a folder. The lock is the system's (fcntl on
// POSIX, LockFileEx on Windows): it ends with the process however it ends,
// and the file only names the holder for the next one.
class FolderLock {
public:
    // Throws UsageError naming the folder and the holder when another
    // process holds it, StudyError when the lock file cannot be made.
    explicit FolderLock(const std::filesystem::path& dir);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    FolderLock(FolderLock&&) = delete;
    FolderLock& operator=(FolderLock&&) = delete;

private:
    std::intptr_t handle_;
};
