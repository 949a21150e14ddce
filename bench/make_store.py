# A store of N persons (all in one group "All"), as bench_cli.sh makes it: make_store.py DIR N
import os, sys
book, n = sys.argv[1], int(sys.argv[2])
os.makedirs(book)
members = []
for i in range(n):
    with open(f"{book}/p{i}.vcf", "w", newline="") as f:
        f.write(f"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p{i}\r\nN:Lastname{i};Firstname{i};;;\r\n"
                f"FN:Firstname{i} Lastname{i}\r\nORG:Company {i} GmbH;Sales\r\nTITLE:Account manager\r\n"
                f"EMAIL;TYPE=work:first.last{i}@company.example\r\nEMAIL;TYPE=home:someone{i}@mail.example\r\n"
                f"TEL;TYPE=work:+43 1 234 56{i}\r\nTEL;TYPE=cell:+43 660 12 34{i}\r\n"
                f"ADR;TYPE=work:;;Hauptstraße {i};Graz;;8010;Austria\r\nBDAY:1980-02-1{i % 10}\r\n"
                f"NOTE:met at the fair in spring\r\nEND:VCARD\r\n")
    members.append(f"X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p{i}\r\n")
with open(f"{book}/all.vcf", "w", newline="") as f:
    f.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:all\r\nFN:All\r\nN:All;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
            + "".join(members) + "END:VCARD\r\n")
