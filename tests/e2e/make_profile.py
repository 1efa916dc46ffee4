#!/usr/bin/python3
"""Writes a Quorvane profile (settings and recipients files) for the
end-to-end checks: the program then starts as a user's would who had set it
up through its dialogs.

  make_profile.py CONFIG_HOME --server HOST --port N [--html] \
      --sender-name NAME --sender-address ADDR --recipient NAME=ADDR ...
"""
import argparse
import os
import struct

SETTINGS_SIZE = 1792
ENTRY_SIZE = 176


def put_text(buf, offset, width, text):
    data = text.encode("utf-8")[: width - 1]
    buf[offset : offset + width] = data + b"\0" * (width - len(data))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("config_home")
    p.add_argument("--server", default="127.0.0.1")
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--html", action="store_true")
    p.add_argument("--sender-name", default="")
    p.add_argument("--sender-address", default="")
    p.add_argument("--recipient", action="append", default=[])
    a = p.parse_args()

    settings = bytearray(SETTINGS_SIZE)
    put_text(settings, 0, 128, a.server)
    put_text(settings, 128, 128, a.sender_name)
    put_text(settings, 256, 128, a.sender_address)
    struct.pack_into("<i", settings, 492, 1 if a.html else 0)
    struct.pack_into("<i", settings, 760, a.port)

    recipients = bytearray(ENTRY_SIZE * 40)
    for i, pair in enumerate(a.recipient[:40]):
        name, _, address = pair.partition("=")
        put_text(recipients, i * ENTRY_SIZE, 48, name)
        put_text(recipients, i * ENTRY_SIZE + 48, 128, address)

    folder = os.path.join(a.config_home, "Lumarc", "quorvane")
    os.makedirs(folder, mode=0o700, exist_ok=True)
    for name, data in (("quorvane.dat", settings), ("qvnrecipients.dat", recipients)):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, 0o600)


if __name__ == "__main__":
    main()
