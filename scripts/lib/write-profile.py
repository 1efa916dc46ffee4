#!/usr/bin/python3
"""Writes a Quorvane profile (settings and recipients files) into
CONFIG_HOME/Lumarc/quorvane/, so that the program starts as it would for
someone who had set it up through its dialogs. Used by the demonstration and
the end-to-end checks; never point it at a real user's folder.

  write-profile.py CONFIG_HOME --port N [--server HOST] [--html]
      [--sender-name NAME] [--sender-address ADDR]
      [--custom-message1 TEXT] [--recipient NAME=ADDR ...]
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
    p.add_argument("--custom-message1")
    p.add_argument("--recipient", action="append", default=[])
    a = p.parse_args()

    settings = bytearray(SETTINGS_SIZE)
    put_text(settings, 0, 128, a.server)
    put_text(settings, 128, 128, a.sender_name)
    put_text(settings, 256, 128, a.sender_address)
    if a.custom_message1 is not None:
        put_text(settings, 384, 32, a.custom_message1[:30])
        struct.pack_into("<i", settings, 480, 1)
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
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        with os.fdopen(fd, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
