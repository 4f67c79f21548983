"""Runs a Windows console test program under Wine, in a prefix of its own
under DIR, and passes on what it prints and its exit status.

    python3 run_console.py --exe TEST.exe --work DIR
"""

import argparse
import os
import subprocess
import sys

import harness


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--work", required=True)
    options = parser.parse_args()
    os.makedirs(options.work, exist_ok=True)
    session = harness.start_console_session(os.path.abspath(options.work),
                                            os.path.abspath(options.exe))
    harness.stop_on_signal(session)
    try:
        result = subprocess.run([session.wine, session.exe], env=session.env,
                                timeout=harness.STEP_TIMEOUT, stdout=subprocess.PIPE, check=False)
        sys.stdout.write(result.stdout.decode("ascii", "replace"))
        status = result.returncode
    finally:
        harness.stop_session(session)
    left = harness.leftover_processes(session)
    if left:
        print("still running in the prefix: %s" % left)
        status = status or 1
    return status


if __name__ == "__main__":
    sys.exit(main())
