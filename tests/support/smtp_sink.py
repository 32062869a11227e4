"""A real SMTP server for the mail tests (aiosmtpd): saves every message it accepts.

usage: smtp_sink.py FOLDER MODE [CERT KEY USER PASSWORD]
MODE is plain, plain6 (on ::1), starttls or tls. With a user and TLS, AUTH is required. The
port is written to FOLDER/port once the server answers; message N goes to FOLDER/mail-N.txt as
"FROM: sender", "TO: r1,r2", an empty line, then the content as received.
"""
import os
import signal
import socket
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        path = os.path.join(self.folder, "mail-%d.txt" % self.count)
        with open(path + ".tmp", "wb") as out:
            out.write(("FROM: %s\nTO: %s\n\n" % (envelope.mail_from, ",".join(envelope.rcpt_tos))).encode())
            out.write(envelope.original_content)
        os.rename(path + ".tmp", path)
        return "250 OK"


def main():
    folder, mode = sys.argv[1], sys.argv[2]
    cert, key, user, password = (sys.argv[3:7] + [None] * 4)[:4]
    host = "::1" if mode == "plain6" else "127.0.0.1"
    with socket.socket(socket.AF_INET6 if mode == "plain6" else socket.AF_INET) as probe:
        probe.bind((host, 0))
        port = probe.getsockname()[1]
    kwargs = {}
    if not mode.startswith("plain"):
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
        kwargs["ssl_context" if mode == "tls" else "tls_context"] = context
        if mode == "starttls":
            kwargs["require_starttls"] = True
    if user and not mode.startswith("plain"):
        def check(server, session, envelope, mechanism, auth_data):
            ok = isinstance(auth_data, LoginPassword) and auth_data.login == user.encode() \
                and auth_data.password == password.encode()
            return AuthResult(success=ok, handled=False)
        # Over implicit TLS aiosmtpd does not know the link is encrypted: it is, so allow it.
        kwargs.update(authenticator=check, auth_required=True, auth_require_tls=mode == "starttls")
    controller = Controller(Sink(folder), hostname=host, port=port, server_hostname="localhost",
                            **kwargs)
    if mode == "tls":
        controller.ready_timeout = 5
    controller.start()
    with open(os.path.join(folder, "port.tmp"), "w") as out:
        out.write(str(port))
    os.rename(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    done.wait()
    controller.stop()


if __name__ == "__main__":
    main()
