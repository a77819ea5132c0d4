#!/bin/bash
# end_jobs (scripts/lib/env.sh) ends this shell's running jobs by id and no
# other process: not one whose id shares digits with a job's, not a job that
# ended already (its id may be somebody else's by now). kill is stubbed, so
# nothing is ended while it looks.
source "$1/scripts/lib/env.sh"
ended=()
kill() { ended+=("$*"); }
sleep 30 & job=$!
true & gone=$!
wait "$gone"
end_jobs "${job:0:${#job}-1}" "1$job" "${job}0" "$gone"
status=0
[ "${#ended[@]}" = 0 ] || { echo "ended what is not a running job: ${ended[*]}"; status=1; }
end_jobs "$job"
[ "${ended[*]}" = "$job" ] || { echo "did not end the job $job: ${ended[*]}"; status=1; }
command kill "$job"
wait "$job" 2>/dev/null
exit "$status"
