#!/usr/bin/env bash
# Reads the links that CreateLinkIcon.WritesEachFieldForEveryReaderAndNothingForBadInput wrote
# with lnkinfo (liblnk-utils), which shares no code with Wine's shell, and
# checks each field; removes the folder afterwards.
#   check_links.sh FOLDER
set -uo pipefail
folder=${1:?the folder with the links}
failures=0

# expect FILE PATTERN: a line of lnkinfo's output matches the extended regex.
expect() {
  if ! grep -Eq -- "$2" <<<"${info[$1]}"; then
    echo "$1: no line matches: $2"
    failures=$((failures + 1))
  fi
}
refuse() {
  if grep -Eq -- "$2" <<<"${info[$1]}"; then
    echo "$1: unexpected line: $(grep -E -- "$2" <<<"${info[$1]}")"
    failures=$((failures + 1))
  fi
}

# expect_length FILE LABEL N: the field LABEL holds exactly N characters.
expect_length() {
  local value
  value=$(grep -E -- $'^\t'"$2"$'\t+: ' <<<"${info[$1]}" | sed -E $'s/^[^:]*: //')
  if [ "${#value}" -ne "$3" ]; then
    echo "$1: $2 holds ${#value} characters, not $3"
    failures=$((failures + 1))
  fi
}

declare -A info
for name in full bare network limits; do
  if ! info[$name]=$(lnkinfo "$folder/$name.lnk" 2>&1); then
    echo "$name.lnk: lnkinfo cannot read it: ${info[$name]}"
    exit 1
  fi
done

expect full $'^\tLocal path\t+: C:\\\\Apps\\\\Client\\\\run\\.exe$'
expect full $'^\tWorking directory\t+: C:\\\\Apps\\\\Client$'
expect full $'^\tCommand line arguments\t+: --silent -x$'
expect full $'^\tDescription\t+: Quotes and news$'
expect full $'^\tIcon location\t+: C:\\\\Apps\\\\Client\\\\run\\.ico$'
expect full $'^\tIcon index\t+: 0$'

expect bare $'^\tLocal path\t+: .*\\\\run\\.exe$'
expect bare $'^\tWorking directory\t+: $'
refuse bare 'Contains (a description|a command line arguments|an icon location) string'

expect network $'^\tLocal path\t+: [A-Z]:\\\\server\\\\share\\\\run\\.exe$'
refuse network 'Contains (a description|a command line arguments|an icon location) string'

# The longest texts a link holds, whole: a target of 259 characters, the rest of 32,766.
expect_length limits 'Local path' 259
for field in 'Command line arguments' 'Description' 'Icon location'; do expect_length limits "$field" 32766; done

rm -rf "$folder"
[ "$failures" -eq 0 ] && echo "lnkinfo reads every field as written"
[ "$failures" -eq 0 ]
