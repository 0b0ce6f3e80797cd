; The listing routine: shows the directory listing that the ZX81 program around it holds.
;
; It lives in line 1's REM at 16516 and is called by line 10 (PRINT USR VAL "16516") again and
; again through line 40. The first call clears the screen and shows the path of line 20 on top
; and the first page of the names of line 30 below it. Every later call first waits for a key to
; be released and another to be pressed, then shows the next page (after the last, the first
; again). BREAK while it waits stops the program with the ROM's report D. It returns the number
; of file names, which line 10 prints behind "FILES: " on the last row; an entry without a dot,
; such as the last one of a long listing that counts the names left out ("+1,234 MORE"), is
; shown like the names but not counted.
;
; Screen: row 0 the path (its last 29 characters behind "..." when longer than 32), row 1 blank,
; rows 2 to 18 the names, each on as many rows as it needs (at most 8: a name is cut at 255
; characters), a blank row, then the footer on row 20 or above. Line 10's number ends that row
; and its NEWLINE reaches row 21, the last the upper screen has while DF_SZ is 2.
;
; It writes nothing but its own page number (below) and the machine stack; everything on the
; screen goes through the ROM, which expands a collapsed (1K) display as it prints.

        org 16516

; ZX81 ROM entry points, each with what it promises. Every one may change A, F, BC, DE and HL
; unless it says otherwise; all need IY = 16384 and, in SLOW mode, IX and AF' left alone.
ERROR_1  equ 0008h      ; RST 08h ERROR-1: the byte after the RST is the report code less one;
                        ; shows the report and returns to the BASIC command line, never here.
PRINT_A  equ 0010h      ; RST 10h PRINT-A: prints the character in A at the print position
                        ; (DF_CC, S_POSN) and moves it on; NEWLINE (76h) starts the next row.
                        ; A character past column 32 wraps to the next row; past the upper
                        ; screen it stops with report 5.
KEYBOARD equ 02BBh      ; KEYBOARD: reads every key row; HL = FFFFh when no key is down.
CLS      equ 0A2Ah      ; CLS: clears the display file and puts the print position top left.
BREAK_1  equ 0F46h      ; BREAK-1: reads the BREAK (SPACE) key; carry clear when it is down.
                        ; Changes only A and F.

; ZX81 system variables and layout.
D_FILE   equ 16396      ; address of the display file, which follows the BASIC program
PROGRAM  equ 16509      ; the first BASIC line

REPORT_D equ 0Ch        ; report D, BREAK, less one
NEWLINE  equ 76h        ; ends a BASIC line and a screen row
PATH_ROW equ 32         ; characters on one row
PATH_CUT equ 29         ; characters of a long path shown behind "..."
NAME_ROWS equ 17        ; rows 2 to 18

; ZX81 character codes of the texts below.
C_SPACE  equ 0
C_COLON  equ 14
C_DOT    equ 27
C_A      equ 38
C_E      equ 42
C_F      equ 43
C_G      equ 44
C_I      equ 46
C_K      equ 48
C_L      equ 49
C_N      equ 51
C_P      equ 53
C_S      equ 56
C_T      equ 57
C_X      equ 61
C_Y      equ 62
LAST     equ 80h        ; marks a text's last character

start:
        ld hl,(page)
        inc hl                  ; FFFFh (nothing shown yet) becomes page 0 at once
        ld a,h
        or l
        jr z,show
        push hl
wait_up:
        call poll               ; the key that brought the last page must go up first
        jr nz,wait_up
wait_down:
        call poll
        jr z,wait_down
        pop hl

; Shows page HL: skips the pages before it; a page with no names left means the first again.
show:
        ld (page),hl
        call CLS
        ld a,20
        call find_line          ; HL = path, BC = its length
        push hl
        ld hl,PATH_ROW
        and a
        sbc hl,bc
        pop hl
        jr nc,path_fits
        add hl,bc
        ld bc,-PATH_CUT
        add hl,bc
        ld bc,PATH_CUT
        push hl
        push bc
        ld hl,s_dots
        call print_text
        pop bc
        pop hl
path_fits:
        call print_run
        call newline
        call newline
        ld a,30
        call find_line          ; HL = the first name
        push hl
        ld de,(page)
skip:
        ld a,d
        or e
        jr z,print
        xor a
        call walk_page
        ld a,(hl)
        cp NEWLINE
        jr z,wrap
        dec de
        jr skip
wrap:
        pop hl
        push hl
        ld de,0
        ld (page),de
print:
        ld a,1
        call walk_page
        call newline
        ld a,(hl)               ; the footer when there are pages besides this one
        cp NEWLINE
        jr nz,more
        ld de,(page)
        ld a,d
        or e
        jr z,files
more:
        ld hl,s_more
        call print_text
files:
        ld hl,s_files
        call print_text
        pop hl
        ld bc,0                 ; the number of file names, for line 10 to print
count_entry:
        ld e,0                  ; no dot in this entry yet
count:
        ld a,(hl)
        cp NEWLINE
        ret z
        inc hl
        cp C_DOT
        jr nz,count_end
        ld e,a
count_end:
        rla
        jr nc,count
        inc e                   ; E was 0 or C_DOT
        dec e
        jr z,count_entry
        inc bc
        jr count_entry

; Reads the keyboard; Z when no key is down. BREAK ends the program instead.
poll:
        call BREAK_1
        jr nc,stop
        call KEYBOARD
        inc hl
        ld a,h
        or l
        ret

; BREAK: the next run of line 10 shows the first page at once.
stop:
        ld hl,0FFFFh
        ld (page),hl
        rst ERROR_1
        defb REPORT_D

; A = the number of a line (below 256). Walks the lines from the first. Returns HL = the text
; behind the line's REM and BC = its length without REM and NEWLINE; with no such line, BC = 0
; and HL at the display file, whose first byte is a NEWLINE.
find_line:
        ld hl,PROGRAM
find_next:
        ld de,(D_FILE)
        push hl
        and a                   ; keeps A
        sbc hl,de
        pop hl
        jr nc,find_none
        ld d,(hl)               ; line number, high byte first
        inc hl
        ld e,(hl)
        inc hl
        ld c,(hl)               ; length of the rest of the line
        inc hl
        ld b,(hl)
        inc hl
        push hl
        add hl,bc
        ex (sp),hl              ; the next line waits on the stack
        inc d
        dec d
        jr nz,find_skip
        cp e
        jr nz,find_skip
        pop de
        inc hl                  ; behind REM
        dec bc
        dec bc
        ret
find_skip:
        pop hl
        jr find_next
find_none:
        ld bc,0
        ret

; Walks the names that fill one page from HL, printing each (and a NEWLINE behind it) when A is
; not 0. Returns HL at the first name left over, or at line 30's NEWLINE. Keeps DE.
walk_page:
        push de
        ld d,a
        ld c,NAME_ROWS
walk_name:
        ld a,(hl)
        cp NEWLINE
        jr z,walk_done
        push hl
        ld b,0                  ; the name's length, at most 255
walk_length:
        ld a,(hl)
        cp NEWLINE
        jr z,walk_measured
        inc hl
        rla                     ; bit 7: the inverse space that ends a name
        jr c,walk_measured
        inc b
        jr nz,walk_length
        dec b
        jr walk_length
walk_measured:
        ld a,b                  ; rows: (length - 1) / 32 + 1; an empty name takes one
        or a
        jr z,walk_rows
        dec a
        rlca
        rlca
        rlca
        and 7
walk_rows:
        inc a
        ld e,a
        ld a,c
        sub e
        jr c,walk_full
        ld c,a
        ex (sp),hl              ; HL = the name, the next one waits on the stack
        ld a,d
        or a
        jr z,walk_next
        push bc
        ld c,b
        ld b,0
        call print_run
        call newline
        pop bc
walk_next:
        pop hl
        jr walk_name
walk_full:
        pop hl
walk_done:
        pop de
        ret

; Prints BC characters from HL; HL ends behind them.
print_run:
        ld a,b
        or c
        ret z
        ld a,(hl)
        inc hl
        call putc
        dec bc
        jr print_run

; Prints the text at HL, up to its character marked with LAST.
print_text:
        ld a,(hl)
        inc hl
        push af
        and LAST-1
        call putc
        pop af
        rla
        jr nc,print_text
        ret

newline:
        ld a,NEWLINE
; Prints the character in A, keeping BC, DE and HL.
putc:
        push bc
        push de
        push hl
        rst PRINT_A
        pop hl
        pop de
        pop bc
        ret

s_dots:
        defb C_DOT,C_DOT,C_DOT+LAST
s_more:                         ; "ANY KEY: NEXT PAGE. "
        defb C_A,C_N,C_Y,C_SPACE,C_K,C_E,C_Y,C_COLON,C_SPACE
        defb C_N,C_E,C_X,C_T,C_SPACE,C_P,C_A,C_G,C_E,C_DOT,C_SPACE+LAST
s_files:                        ; "FILES: "
        defb C_F,C_I,C_L,C_E,C_S,C_COLON,C_SPACE+LAST

; The page shown last; FFFFh until the first is shown. Kept here, in line 1, so that the
; program needs no variable of its own.
page:
        defw 0FFFFh
