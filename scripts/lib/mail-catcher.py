#!/usr/bin/python3
"""A mail server on 127.0.0.1 that delivers nowhere: it keeps every message
it is given as message-N.eml (the bytes received) in --out.

It listens on port 2525 when that is free, else on any free port, prints the
port on stdout once it accepts connections, and ends by itself after
--lifetime seconds, so a demonstration that is killed outright cannot leave
it behind.
"""

import argparse
import asyncio
import logging
import os
import sys

from aiosmtpd.smtp import SMTP

# The usual stand-in for port 25 where that needs root: the number that Setup
# shows in the pictures.
PREFERRED_PORT = 2525


class Catcher:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        path = os.path.join(self.folder, "message-%d.eml" % self.count)
        # Written whole and renamed, so whoever waits for the file never reads
        # half a message.
        with open(path + ".part", "wb") as f:
            f.write(envelope.original_content or b"")
        os.replace(path + ".part", path)
        return "250 OK: kept as %s" % os.path.basename(path)


async def serve(folder, lifetime):
    loop = asyncio.get_running_loop()
    catcher = Catcher(folder)

    # No AUTH is offered: nothing here needs a password.
    def factory():
        return SMTP(catcher, hostname="localhost", auth_exclude_mechanism=["LOGIN", "PLAIN"])
    try:
        server = await loop.create_server(factory, "127.0.0.1", PREFERRED_PORT)
    except OSError:
        server = await loop.create_server(factory, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        try:
            await asyncio.wait_for(server.serve_forever(), lifetime)
        except asyncio.TimeoutError:
            pass


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True, help="folder for the messages")
    parser.add_argument("--lifetime", type=float, default=600, help="seconds until it ends by itself")
    args = parser.parse_args()
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    os.makedirs(args.out, exist_ok=True)
    try:
        asyncio.run(serve(args.out, args.lifetime))
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
