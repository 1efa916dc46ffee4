#!/usr/bin/python3
"""Writes the settings and recipients files of a made-up office into
CONFIG_HOME/Lumarc/quorvane/, so that Quorvane starts as it would for someone
who had set it up through its dialogs:

  demo-profile.py CONFIG_HOME --port N

The mail server is 127.0.0.1 on port N; mail goes out as HTML.
"""
import argparse
import os
import struct

SETTINGS_SIZE = 1792
RECIPIENT_SIZE = 176
RECIPIENT_COUNT = 40

SENDER = ("Reception Desk", "reception@example.org")
RECIPIENTS = [
    ("Alice Able", "alice@example.org"),
    ("Bob Baker", "bob@example.org"),
    ("Carol Chen", "carol@example.org"),
    ("Dev Dutta", "dev@example.org"),
    ("Erin Evans", "erin@example.org"),
    ("Frank Fisher", "frank@example.org"),
    ("Grace Green", "grace@example.org"),
    ("Hamid Hosseini", "hamid@example.org"),
    ("Sales team", "sales@example.org"),
    ("Accounts", "accounts@example.org"),
]
CUSTOM_PHRASE = "Will FAX documents"


def put_text(buf, offset, width, text):
    # Text, a 0 terminator and zeros to the end of the field.
    data = text.encode("utf-8")[: width - 1]
    buf[offset: offset + width] = data + b"\0" * (width - len(data))


def put_flag(buf, offset, value):
    struct.pack_into("<i", buf, offset, value)


def settings_bytes(port):
    s = bytearray(SETTINGS_SIZE)
    put_text(s, 0, 128, "127.0.0.1")         # SMTP server
    put_text(s, 128, 128, SENDER[0])         # sender's name
    put_text(s, 256, 128, SENDER[1])         # sender's address
    put_text(s, 384, 32, CUSTOM_PHRASE)      # first custom phrase
    put_flag(s, 480, 1)                      # ... offered on the form
    put_flag(s, 492, 1)                      # send as HTML
    put_flag(s, 760, port)                   # SMTP port
    return s


def recipients_bytes():
    r = bytearray(RECIPIENT_SIZE * RECIPIENT_COUNT)
    for i, (name, address) in enumerate(RECIPIENTS):
        put_text(r, i * RECIPIENT_SIZE, 48, name)
        put_text(r, i * RECIPIENT_SIZE + 48, 128, address)
    return r


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("config_home")
    p.add_argument("--port", type=int, required=True)
    a = p.parse_args()

    folder = os.path.join(a.config_home, "Lumarc", "quorvane")
    os.makedirs(folder, mode=0o700, exist_ok=True)
    for name, data in (("quorvane.dat", settings_bytes(a.port)), ("qvnrecipients.dat", recipients_bytes())):
        path = os.path.join(folder, name)
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        with os.fdopen(fd, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
