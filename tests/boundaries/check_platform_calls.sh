#!/bin/bash
# platform/ is the only code that reads the environment, asks about users or
# starts and watches processes. Lists every such call found in app/, library/
# and archivers/ and fails when there is one; tests/ and bench/ are free.
# Usage: check_platform_calls.sh SOURCE_FOLDER
set -u
source_folder=${1:?usage: check_platform_calls.sh SOURCE_FOLDER}

names='getenv|secure_getenv|setenv|unsetenv|putenv|clearenv'
names+='|getpwuid|getpwuid_r|getpwnam|getpwnam_r|getgrgid|getgrgid_r|getgrnam|getgrnam_r'
names+='|getuid|geteuid|getgid|getegid|getlogin|getlogin_r'
names+='|fork|vfork|clone|execl|execlp|execle|execv|execvp|execvpe|execve|fexecve|posix_spawn|posix_spawnp'
names+='|system|popen|pclose|waitpid|waitid|wait3|wait4|kill|killpg'
names+='|getpid|getppid|setsid|prctl|ptrace|sigaction|getrlimit|setrlimit|_exit'
names+='|qgetenv|qputenv|qunsetenv|qEnvironmentVariable|qEnvironmentVariableIsSet'
# A call, not a member of the same name (cv.wait(), child->kill()).
calls="(^|[^.>[:alnum:]_])($names)[[:space:]]*\\("
others='\benviron\b|QProcess|QStandardPaths|QDir::(home|temp)(Path)?\('
headers='#include <(pwd|grp|spawn|sys/wait|sys/prctl|sys/ptrace|sys/resource)\.h>'

cd "$source_folder" || exit 2
for folder in app library archivers; do
    [ -d "$folder" ] || { echo "no folder $source_folder/$folder"; exit 2; }
done
found=$(grep -rnE --include='*.cpp' --include='*.cc' --include='*.c' --include='*.h' \
    "$calls|$others|$headers" app library archivers)
if [ -n "$found" ]; then
    echo "Calls that belong in platform/:"
    echo "$found"
    exit 1
fi
echo "No environment, user or process calls outside platform/."
