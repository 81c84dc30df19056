#!/bin/sh
# Starts or stops the simulated tracker (a native program) on a pseudo-terminal that
# Wine sees as a COM port: the link in the prefix's dosdevices folder.
#   com_port_tracker.sh start|stop SIM WINEPREFIX PORT STATE_DIR
set -u
action=$1 sim=$2 prefix=$3 port=$4 dir=$5
link="$prefix/dosdevices/$port"
case "$action" in
  start)
    mkdir -p "$dir" "$prefix/dosdevices"
    [ -f "$dir/sim.pid" ] && kill "$(cat "$dir/sim.pid")" 2>/dev/null
    rm -f "$link" "$dir/sim.pid"
    # Its own session and no inherited pipes, so CTest does not wait for it.
    setsid "$sim" --link "$link" > "$dir/sim.out" 2> "$dir/sim.err" < /dev/null &
    echo $! > "$dir/sim.pid"
    i=0
    while [ ! -e "$link" ]; do
      i=$((i + 1))
      if [ $i -gt 100 ]; then echo "the tracker did not start:"; cat "$dir/sim.err"; exit 1; fi
      sleep 0.1
    done
    echo "tracker on $(head -n 1 "$dir/sim.out") as $port"
    ;;
  stop)
    [ -f "$dir/sim.pid" ] && kill "$(cat "$dir/sim.pid")" 2>/dev/null
    rm -f "$link" "$dir/sim.pid"
    ;;
  *) echo "usage: $0 start|stop SIM WINEPREFIX PORT STATE_DIR" >&2; exit 2 ;;
esac
exit 0
