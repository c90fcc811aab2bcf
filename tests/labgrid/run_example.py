#!/usr/bin/python3
"""Runs the labgrid example (examples/labgrid) on this machine: the simulated board behind a real
ser2net on 127.0.0.1, the example's environment with that address, and its pytest test through
Debian's labgrid. Exits non-zero unless the test ran and passed and both JUnit reports are there.

    run_example.py BOARD_PROGRAM KARVEX_RUN EXAMPLE_DIR OUT_DIR
"""
import os
import socket
import subprocess
import sys
import time
from pathlib import Path

import yaml

BOUND_S = 20  # for the board and the server to come up


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    """True once something listens on 127.0.0.1:port (from the kernel's table, without a connection)."""
    local = "0100007F:%04X" % port
    with open("/proc/net/tcp") as table:
        return any(f[1] == local and f[3] == "0A" for f in (line.split() for line in table) if len(f) > 3)


def wait_for(condition, what):
    end = time.monotonic() + BOUND_S
    while not condition():
        if time.monotonic() > end:
            sys.exit(f"run_example: {what} did not come within {BOUND_S} s")
        time.sleep(0.01)


def main(board_program, karvex_run, example, out):
    out = Path(out)
    out.mkdir(parents=True, exist_ok=True)
    for old in out.glob("*.xml"):
        old.unlink()
    board = subprocess.Popen([board_program, "--quiet"], stdout=subprocess.PIPE, text=True)
    server = None
    try:
        device = board.stdout.readline().strip()
        if not device:
            sys.exit("run_example: the simulated board did not start")
        port = free_port()
        config = out / "ser2net.yaml"
        config.write_text(f"connection: &board\n  accepter: telnet(rfc2217),tcp,127.0.0.1,{port}\n"
                          f"  connector: serialdev,{device},115200n81,local\n"
                          "  options:\n    chardelay: false\n")
        server = subprocess.Popen(["ser2net", "-n", "-u", "-c", str(config)])
        wait_for(lambda: listening(port) or server.poll() is not None, "ser2net")
        if server.poll() is not None:
            sys.exit("run_example: ser2net did not start")

        environment = yaml.safe_load((Path(example) / "bench7.yaml").read_text())
        resource = environment["targets"]["main"]["resources"]["NetworkSerialPort"]
        resource["host"], resource["port"] = "127.0.0.1", port
        environment["tools"]["karvex-run"] = karvex_run
        env_file = out / "loopback.yaml"
        env_file.write_text(yaml.safe_dump(environment))

        run = subprocess.run(
            [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-rA",
             "--lg-env", str(env_file), "--junitxml", str(out / "pytest.xml"),
             str(Path(example) / "test_board.py")],
            env=dict(os.environ, KARVEX_REPORTS=str(out)), timeout=300, check=False)
        # pytest's 5 means that no test ran: that is no pass.
        if run.returncode != 0:
            sys.exit(f"run_example: pytest exited {run.returncode}")
        for report in ("pytest.xml", "karvex-main.xml"):
            if not (out / report).is_file():
                sys.exit(f"run_example: no {report}")
    finally:
        for process in (server, board):
            if process is not None and process.poll() is None:
                process.terminate()
                process.wait(timeout=10)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
