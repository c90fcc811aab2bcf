"""Karvex's test items on the board of a labgrid environment, as one pytest test.

karvex-run connects to the board's NetworkSerialPort (ser2net on the bench computer), runs the
items that change nothing on the board, and writes its JUnit report beside pytest's own, into the
folder KARVEX_REPORTS names (default: reports), where the CI system collects both.
"""
import os
import subprocess
from pathlib import Path

from labgrid.resource import NetworkSerialPort


def board_address(port):
    """The address karvex-run opens for a NetworkSerialPort resource."""
    scheme = "tcp" if port.protocol == "raw" else "rfc2217"
    host = f"[{port.host}]" if ":" in port.host else port.host
    return f"{scheme}://{host}:{port.port}"


def test_safe_items_pass(target, env):
    port = target.get_resource(NetworkSerialPort)
    reports = Path(os.environ.get("KARVEX_REPORTS", "reports"))
    reports.mkdir(parents=True, exist_ok=True)
    junit = reports / f"karvex-{target.name}.xml"
    run = subprocess.run(
        [env.config.get_tool("karvex-run"), "--port", board_address(port),
         "--items", "all-safe", "--junit", str(junit)],
        capture_output=True, text=True, timeout=120, check=False)
    print(run.stdout, run.stderr)
    assert run.returncode == 0, run.stdout + run.stderr
    assert junit.is_file()
