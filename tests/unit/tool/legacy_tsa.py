"""An Authenticode timestamp authority of the older kind, for tests.

    python3 legacy_tsa.py CERT KEY PORT_FILE

Serves on a free port of 127.0.0.1, which it writes to PORT_FILE. A request
is the base64 of a TimeStampRequest whose last OCTET STRING is the value of
the signature to stamp; the reply is the base64 of a PKCS#7 SignedData over
that value, made by `openssl smime` with CERT and KEY (its signer info is
what osslsigncode keeps as the countersignature).
"""
import base64
import http.server
import os
import subprocess
import sys

cert, key, port_file = sys.argv[1:4]


def stamped_value(request):
    at = request.rfind(b"\x04\x82")
    return request[at + 4:at + 4 + int.from_bytes(request[at + 2:at + 4], "big")]


class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        request = base64.b64decode(self.rfile.read(int(self.headers["Content-Length"])))
        signed = subprocess.run(
            ["openssl", "smime", "-sign", "-binary", "-nodetach", "-md", "sha256",
             "-signer", cert, "-inkey", key, "-outform", "DER"],
            input=stamped_value(request), capture_output=True, check=True).stdout
        reply = base64.b64encode(signed)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
with open(port_file + ".part", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".part", port_file)
server.serve_forever()
