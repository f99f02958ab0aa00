// job runs: next
