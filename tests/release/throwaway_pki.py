"""A throw-away certificate authority made with openssl at test time: a code
signing certificate (as PEM and as PKCS#12 with a password file) and a
time-stamping certificate issued by it, and an RFC 3161 time-stamping server
on loopback that answers through `openssl ts`. No key outlives the test."""
import http.server
import os
import subprocess
import tempfile
import threading


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


class ThrowawayPki:
    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.ca = self._authority("ca", "Throw-away test CA")
        self.other_ca = self._authority("other-ca", "Another throw-away CA")
        self.signer_cert, self.signer_key = self._issue("signer", "Throw-away code signer",
                                                        "critical,digitalSignature", "codeSigning")
        self.tsa_cert, self.tsa_key = self._issue("tsa", "Throw-away time stamping",
                                                  "critical,digitalSignature",
                                                  "critical,timeStamping")
        self.password_file = self._write("password.txt", "correct horse\n")
        self.wrong_password_file = self._write("wrong-password.txt", "battery staple\n")
        self.pkcs12 = self._path("signer.p12")
        openssl("pkcs12", "-export", "-in", self.signer_cert, "-inkey", self.signer_key,
                "-certfile", self.ca, "-out", self.pkcs12, "-passout",
                f"file:{self.password_file}", cwd=folder)

    def _path(self, name):
        return os.path.join(self.folder, name)

    def _write(self, name, text):
        with open(self._path(name), "w") as f:
            f.write(text)
        return self._path(name)

    def _authority(self, name, subject):
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key",
                "-out", f"{name}.pem", "-days", "2", "-subj", f"/CN={subject}", "-addext",
                "basicConstraints=critical,CA:TRUE", "-addext",
                "keyUsage=critical,keyCertSign,cRLSign", cwd=self.folder)
        return self._path(f"{name}.pem")

    def _issue(self, name, subject, key_usage, extended_key_usage):
        extensions = self._write(f"{name}.ext", "basicConstraints=CA:FALSE\n"
                                 f"keyUsage={key_usage}\n"
                                 f"extendedKeyUsage={extended_key_usage}\n")
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out",
                f"{name}.csr", "-subj", f"/CN={subject}", cwd=self.folder)
        openssl("x509", "-req", "-in", f"{name}.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", f"{name}.pem", "-days", "2", "-extfile", extensions,
                cwd=self.folder)
        return self._path(f"{name}.pem"), self._path(f"{name}.key")

    def start_time_stamping_server(self):
        """Serves on a free loopback port until the process ends; returns its URL."""
        config = self._write("tsa.cnf", f"""[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = {self._path("tsa-serial")}
signer_cert = {self.tsa_cert}
signer_key = {self.tsa_key}
certs = {self.ca}
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512, sha1
accuracy = secs:1
ordering = yes
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
""")

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                query = self.rfile.read(int(self.headers["Content-Length"]))
                with tempfile.TemporaryDirectory() as scratch:
                    query_file = os.path.join(scratch, "query.tsq")
                    reply_file = os.path.join(scratch, "reply.tsr")
                    with open(query_file, "wb") as f:
                        f.write(query)
                    subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile",
                                    query_file, "-out", reply_file], check=True,
                                   capture_output=True)
                    with open(reply_file, "rb") as f:
                        reply = f.read()
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(reply)))
                self.end_headers()
                self.wfile.write(reply)

            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        return f"http://127.0.0.1:{server.server_address[1]}/"
