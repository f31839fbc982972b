#!/bin/bash
# The start-up and the main window know nothing of each other: no file in
# app/startup includes a header of app/main, nor the other way round. The
# program's entry point, outside both, puts them together.
# Usage: check_app_includes.sh SOURCE_FOLDER
set -u
source_folder=${1:?usage: check_app_includes.sh SOURCE_FOLDER}
cd "$source_folder/app" || exit 2

# includes_of FROM TO: the lines in FROM that include a header kept in TO.
includes_of() {
    local headers
    headers=$(cd "$2" && ls -- *.h 2>/dev/null | sed 's/\./\\./g' | paste -sd '|')
    [ -n "$headers" ] || return 0
    grep -rnE "#include [\"<]([^\">]*/)?($headers)[\">]" "$1"
}

for folder in startup main; do
    [ -d "$folder" ] || { echo "no folder $source_folder/app/$folder"; exit 2; }
done
found=$(includes_of startup main; includes_of main startup)
if [ -n "$found" ]; then
    echo "Includes between app/startup and app/main:"
    echo "$found"
    exit 1
fi
echo "app/startup and app/main include nothing of each other."
