/* The cheapest CGI answer a process can give: the headers and a GIF
 * header, the floor against which tlvxcount's process cost is measured. */
#include <stdio.h>

int main(void) {
    static const char reply[] = "Content-Type: image/gif\r\nContent-Length: 6\r\n\r\nGIF87a";
    fwrite(reply, 1, sizeof reply - 1, stdout);
    return 0;
}
