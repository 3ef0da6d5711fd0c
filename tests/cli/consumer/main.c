/* Uses a few exports of the installed library; prints what they gave. */
#include <stdio.h>
#include <string.h>

#include <brioutil.h>
#include <brioutil_host.h>

int main(void) {
    uint32_t length = 0;
    int32_t status = -1;
    const char* topic = TopicNew(&length, &status);
    int32_t found = TopicFindText("{\\rtf1 Plant a bed\\par}", "a BED", &status);
    BrioHostClipboardClear();
    printf("probe %d template %u %d %.6s found %d\n", (int)CadenceDLL(), (unsigned)length,
           (int)status, topic, (int)found);
    return length == strlen(topic) ? 0 : 1;
}
