#!/bin/bash
# The boundary checks on small trees of our own: each must pass clean code and
# name the file and line of every call or include it is there to keep out.
# Usage: boundary_checks_test.sh CHECK_FOLDER
set -u
checks=${1:?usage: boundary_checks_test.sh CHECK_FOLDER}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

bad() { echo "FAIL: $*"; failed=$((failed + 1)); }

# tree: a fresh source folder with empty app/, library/ and archivers/.
tree() {
    rm -rf "$work/src"
    mkdir -p "$work/src/app/startup" "$work/src/app/main" "$work/src/library" "$work/src/archivers/worker"
}

# expect_pass CHECK, expect_fail CHECK TEXT: TEXT must appear in what it lists.
expect_pass() {
    bash "$checks/$1" "$work/src" >"$work/out" || bad "$1 refused clean code: $(cat "$work/out")"
}
expect_fail() {
    if bash "$checks/$1" "$work/src" >"$work/out"; then
        bad "$1 let through $2"
    elif ! grep -qF -- "$2" "$work/out"; then
        bad "$1 did not name $2: $(cat "$work/out")"
    fi
}

# Members and words that only look like the calls.
tree
cat >"$work/src/library/clean.cpp" <<'CODE'
#include <unistd.h>
// What the environment says is asked of platform::Environment().
void Run(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Child* child) {
    cv.wait(lock);
    child->kill();
    child.Kill();
    std::string environment = platform::Environment("HOME");
    auto code = std::system_category();
    read(fd, buffer, size);
}
CODE
expect_pass check_platform_calls.sh

# Each kind of call outside platform/, in each folder.
while IFS='|' read -r file line; do
    tree
    printf '%s\n' "$line" >"$work/src/$file"
    expect_fail check_platform_calls.sh "$file:1:"
done <<'CASES'
app/main/main.cpp|    const char* home = std::getenv("HOME");
app/startup/startup.cpp|    setenv("QT_QPA_PLATFORM", "offscreen", 1);
library/assoc.cpp|    if (getpwuid_r(getuid(), &entry, buffer, size, &found) == 0) {}
library/run.cpp|    int status = std::system("update-mime-database");
archivers/worker/worker.cpp|    if (getppid() != parent) _exit(1);
archivers/worker/faults.cpp|        execve("/bin/true", args, environ);
archivers/common.cpp|    while (waitpid (child, &status, 0) < 0) {}
app/about.cpp|    QProcess::startDetached(tool, {});
app/desktop.cpp|    QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
app/props.cpp|#include <pwd.h>
CASES

# Tests and benchmarks may set the environment and start programs.
tree
mkdir -p "$work/src/tests" "$work/src/bench"
echo 'setenv("HOME", home, 1);' >"$work/src/tests/a_test.cpp"
echo 'FILE* tool = popen("bsdtar -xf a.tar", "r");' >"$work/src/bench/bench.cpp"
expect_pass check_platform_calls.sh

# The start-up and the main window.
tree
echo '// shared' >"$work/src/app/main/app.h"
echo '// shared' >"$work/src/app/startup/startup.h"
echo '#include "startup.h"' >"$work/src/app/startup/startup_window.cpp"
echo '#include "app.h"' >"$work/src/app/main/main_window.cpp"
expect_pass check_app_includes.sh
echo '#include "app.h"' >>"$work/src/app/startup/startup.h"
expect_fail check_app_includes.sh 'startup/startup.h:2:#include "app.h"'
tree
echo '// shared' >"$work/src/app/startup/startup.h"
echo '#include "../startup/startup.h"' >"$work/src/app/main/main.cpp"
expect_fail check_app_includes.sh 'main/main.cpp:1:'

if [ "$failed" -ne 0 ]; then
    echo "$failed failed"
    exit 1
fi
echo "all passed"
