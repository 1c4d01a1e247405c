# Checks a station's log file against what the simulator served (grelvix-devsim --record),
# cycle by cycle. The served answers fall into poll cycles: the station asks its devices in
# ascending address order, so a cycle ends where the next answer comes from the same or a lower
# address, or more than 1.5 s later. Each record must then be the next cycle after the one
# before, ended before the record's second did: a device that answered has its values there,
# one that did not (silent, or corrupt answers) has "nan". No cycle may be left out.
#   awk -f logmatch.awk -v devices='5 7 9' served.txt Log_hhmmss_ddMMyyyy.dat
# Fails on a record that matches no cycle, on a cycle without a record, on fewer than 25
# records, and when no device was ever without a reading (the faults did not reach the log).
BEGIN { n = split(devices, device, " ") }

# served.txt: seconds address first second
FNR == NR {
  if (cycles == 0 || $2 + 0 <= address || $1 - end[cycles] > 1.5)
    start[++cycles] = $1
  address = $2 + 0
  end[cycles] = $1
  answered[cycles, $2] = 1
  first[cycles, $2] = $3
  second[cycles, $2] = $4
  next
}

function near(a, b) { return a - b < 0.05 && b - a < 0.05 }

# Whether the record at token pos holds what cycle c served.
function holds(c, pos,    d, a, v1, v2) {
  for (d = 1; d <= n; d++) {
    a = device[d]
    v1 = token[pos + 2 * d - 1]
    v2 = token[pos + 2 * d]
    if (answered[c, a] ? !near(v1, first[c, a]) || !near(v2, second[c, a]) \
                       : v1 != "nan" || v2 != "nan")
      return 0
  }
  return 1
}

{
  tokens = split($0, token, "\t")
  channels = token[1]
  records = 0
  bad = 0
  missing = 0
  skipped = 0
  matched = 0
  for (pos = channels + 2; pos + channels < tokens; pos += channels + 1) {
    stamp = token[pos]
    records++
    c = matched + 1
    # The first record comes from a cycle that ended within a second before it.
    if (records == 1)
      for (c = 1; c <= cycles && end[c] < stamp - 1; c++) {}
    for (; c <= cycles && end[c] < stamp + 1; c++)
      if (holds(c, pos))
        break
    if (c > cycles || end[c] >= stamp + 1) {
      bad++
      printf "record %d (%d): matches no cycle served since the one before:", records, stamp
      for (d = 1; d <= n; d++)
        printf " %s %s", token[pos + 2 * d - 1], token[pos + 2 * d]
      printf "\n"
      continue
    }
    if (records > 1 && c > matched + 1) {
      skipped += c - matched - 1
      printf "record %d (%d): %d cycle(s) before it have no record\n", records, stamp,
        c - matched - 1
    }
    for (d = 1; d <= n; d++)
      missing += !answered[c, device[d]]
    matched = c
  }
}

END {
  printf "%d records of %d channels, each the next poll cycle served: %d matched, %d not, " \
    "%d cycles without a record, %d device readings missing after a silent or corrupt answer\n",
    records, channels, records - bad, bad, skipped, missing
  exit (bad > 0 || skipped > 0 || records < 25 || missing == 0)
}
