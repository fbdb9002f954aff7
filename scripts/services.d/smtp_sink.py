"""SMTP server for the tests of the mail component.

Accepts every message on a loopback port and keeps it in a spool directory, named after
its first recipient: <recipient>.data holds the message content exactly as received
(after the server removed the dot-stuffing), <recipient>.envelope the greeting name and
the envelope, one per line ("HELO name", "MAIL FROM address", "RCPT TO address").

usage: smtp_sink.py SPOOL_DIR PORT_FILE
Listens on 127.0.0.1 on a free port and writes that port to PORT_FILE once listening.
"""

import asyncio
import os
import re
import sys

from aiosmtpd.smtp import SMTP


class Spool:
    def __init__(self, directory):
        self.directory = directory

    def _write(self, name, data):
        path = os.path.join(self.directory, name)
        temporary = path + ".part"
        with open(temporary, "wb") as f:
            f.write(data)
        os.replace(temporary, path)

    async def handle_DATA(self, server, session, envelope):
        first = envelope.rcpt_tos[0] if envelope.rcpt_tos else "nobody"
        name = re.sub(r"[^A-Za-z0-9@._-]", "_", first)
        self._write(name + ".data", envelope.original_content)
        lines = ["HELO %s" % session.host_name, "MAIL FROM %s" % envelope.mail_from]
        lines += ["RCPT TO %s" % rcpt for rcpt in envelope.rcpt_tos]
        self._write(name + ".envelope", ("\n".join(lines) + "\n").encode("utf-8", "replace"))
        return "250 Message accepted for delivery"


async def main(spool, port_file):
    loop = asyncio.get_running_loop()
    handler = Spool(spool)
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="dorvale-test-smtp", decode_data=False),
        "127.0.0.1", 0)
    port = server.sockets[0].getsockname()[1]
    with open(port_file + ".part", "w") as f:
        f.write("%d\n" % port)
    os.replace(port_file + ".part", port_file)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    asyncio.run(main(sys.argv[1], sys.argv[2]))
