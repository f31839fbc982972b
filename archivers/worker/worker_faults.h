// Faults that a test build of the worker makes when told to (the variable
// ZENKARI_WORKER_FAULT), to prove that its module survives them and that each
// layer of the confinement holds. The worker that is shipped has none: there
// every call here does nothing.
//   crash:N  hang:N  garbage:N  quit:N   at entry N (from 1), once its data is being written;
//            with ":first" or ":second" after N only in that share's worker of a shared extraction
//   sleep:N  stops for 300 ms once at entry N, then goes on (a share that ends later)
//   try:exec  try:socket  try:ptrace  try:memory  try:read=PATH  try:write=PATH
//            right after confinement; the Result's value is the errno the
//            attempt met (0: it was allowed), its text what was tried
#ifndef KELVORA_ARCHIVERS_WORKER_FAULTS_H
#define KELVORA_ARCHIVERS_WORKER_FAULTS_H

#include <string>
#include <string_view>

class Faults {
public:
#ifdef KELVORA_WORKER_FAULTS
    Faults();
    void AtStep(std::string_view entry);
    void AfterConfinement();
    // The share of the extraction this worker does (operations.h): 0 whole, 1 first, 2 second.
    void ForShare(int share);

private:
    std::string what_, argument_, share_;
    int at_entry_ = 0;
    int entries_ = 0;
    std::string current_;
#else
    void AtStep(std::string_view) {}
    void AfterConfinement() {}
    void ForShare(int) {}
#endif
};

#endif
