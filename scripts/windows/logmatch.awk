# Checks a station's log file against what the simulator served (grelvix-devsim --record):
# each record must hold, for every device, the values of the device's last valid answer
# served before the record's second ended, and a device that gave none since (silent, or
# corrupt answers) keeps its older values. Polling every 2 s or slower keeps the next cycle's
# answers out of that second.
#   awk -f logmatch.awk -v devices='5 7 9' served.txt Log_hhmmss_ddMMyyyy.dat
BEGIN { n = split(devices, device, " ") }

# served.txt: seconds address first second
FNR == NR {
  k = ++count[$2]
  at[$2, k] = $1
  first[$2, k] = $3
  second[$2, k] = $4
  next
}

function near(a, b) { return a - b < 0.05 && b - a < 0.05 }

{
  tokens = split($0, token, "\t")
  channels = token[1]
  records = 0
  bad = 0
  held = 0
  for (pos = channels + 2; pos + channels < tokens; pos += channels + 1) {
    stamp = token[pos]
    records++
    for (d = 1; d <= n; d++) {
      a = device[d]
      while (last[a] < count[a] && at[a, last[a] + 1] < stamp + 1)
        last[a]++
      k = last[a]
      if (k == 0 || !near(token[pos + 2 * d - 1], first[a, k]) ||
          !near(token[pos + 2 * d], second[a, k])) {
        bad++
        printf "record %d (%d): device %d has %s %s, served %s %s\n", records, stamp, a,
          token[pos + 2 * d - 1], token[pos + 2 * d], first[a, k], second[a, k]
      } else if (stamp + 1 - at[a, k] > 2.5) {
        held++
      }
    }
    if (records > 1 && stamp - previous > 3)
      printf "record %d (%d): %d s after the one before\n", records, stamp, stamp - previous
    previous = stamp
  }
}

END {
  printf "%d records of %d channels, %d device values matched, %d mismatched, " \
    "%d held over a silent or corrupt answer\n", records, channels, records * n - bad, bad, held
  exit (bad > 0 || records < 25)
}
