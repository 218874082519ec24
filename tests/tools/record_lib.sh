# Sourced by the stand-ins of the encpipe tests. record_call writes how this
# process was started into $QUEN_RECORD_DIR/<name>.<n>, <name> being the
# stand-in's file name and <n> counting its calls from 0:
#   argv0=<program path>   arg=<argument> (one line each, in order)
#   stdin=/stdout=/stderr=<pipe|null|file|chardev|closed|other>
#   sigpipe=<default|ignored>
#   pid=<process id>

# Looks at descriptor $1 of the shell itself through /proc: inside $(...)
# our own standard output is the substitution's pipe.
stream_kind() {
  local path=/proc/$$/fd/$1
  if [ ! -e "$path" ]; then
    echo closed
  elif [ -p "$path" ]; then
    echo pipe
  elif [ "$path" -ef /dev/null ]; then
    echo null
  elif [ -f "$path" ]; then
    echo file
  elif [ -c "$path" ]; then
    echo chardev
  else
    echo other
  fi
}

# SIGPIPE is signal 13, bit 12 of the ignored-signals mask.
sigpipe_action() {
  local mask
  mask=$(awk '/^SigIgn:/ { print $2 }' /proc/$$/status)
  if (( (16#$mask >> 12) & 1 )); then echo ignored; else echo default; fi
}

record_call() {
  local dir=${QUEN_RECORD_DIR:?QUEN_RECORD_DIR is not set} name n=0 kinds
  name=$(basename "$0")
  while [ -e "$dir/$name.$n" ]; do n=$((n + 1)); done
  kinds="stdin=$(stream_kind 0)
stdout=$(stream_kind 1)
stderr=$(stream_kind 2)"
  {
    echo "argv0=$0"
    for arg in "$@"; do echo "arg=$arg"; done
    echo "$kinds"
    echo "sigpipe=$(sigpipe_action)"
    echo "pid=$$"
  } >"$dir/$name.$n.part" && mv "$dir/$name.$n.part" "$dir/$name.$n"
}
