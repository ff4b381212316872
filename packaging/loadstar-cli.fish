# fish completion for loadstar-cli: its commands, options, and the files and folders they take.

set -l commands identify read write erase reset select mirror blank-check program verify upload flash backup restore test ports

function __loadstar_cli_ports
    for device in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* /dev/COM1 /dev/serial/by-id/* /tmp/loadstar-(id -u)/COM1
        test -e $device; and echo $device
    end
end

# The sectors of the flash chosen earlier on the line.
function __loadstar_cli_sectors
    set -l words (commandline -opc)
    set -l flash main
    for i in (seq (count $words))
        switch $words[$i]
            case --flash=boot
                set flash boot
            case --flash
                test $i -lt (count $words); and test $words[(math $i + 1)] = boot; and set flash boot
        end
    end
    test $flash = boot; and seq 0 3; or seq 0 7
end

complete -c loadstar-cli -f
# Before the command: the options every command takes, then the commands.
set -l before "not __fish_seen_subcommand_from $commands"
complete -c loadstar-cli -n $before -s h -l help -d 'Show the help'
complete -c loadstar-cli -n $before -l version -d 'Show the version'
complete -c loadstar-cli -n $before -l port -x -a '(__loadstar_cli_ports)' -d 'Serial device instead of COM1'
complete -c loadstar-cli -n $before -l flash -x -a 'main boot' -d 'Flash to work on'
complete -c loadstar-cli -n $before -l sector -x -a '(__loadstar_cli_sectors)' -d 'Sector number'
complete -c loadstar-cli -n $before -l trace -d 'Show every frame and reply on stderr'
complete -c loadstar-cli -n $before -s q -l quiet -d 'No progress line'
complete -c loadstar-cli -n $before -s v -l verbose -d 'Tell how long each step took'
complete -c loadstar-cli -n $before -l json -d 'One JSON object per command on stdout'

complete -c loadstar-cli -n $before -a identify -d 'Check that a board answers'
complete -c loadstar-cli -n $before -a read -d 'Read bytes at a board address'
complete -c loadstar-cli -n $before -a write -d 'Write bytes at a board address'
complete -c loadstar-cli -n $before -a erase -d 'Erase the selected sector'
complete -c loadstar-cli -n $before -a reset -d 'Reset the board'
complete -c loadstar-cli -n $before -a select -d 'Select the flash and sector'
complete -c loadstar-cli -n $before -a mirror -d "Show the board's display"
complete -c loadstar-cli -n $before -a blank-check -d 'Check that the sector is erased'
complete -c loadstar-cli -n $before -a program -d 'Write an image file into the sector'
complete -c loadstar-cli -n $before -a verify -d 'Compare the sector with an image file'
complete -c loadstar-cli -n $before -a upload -d 'Save the sector in a file'
complete -c loadstar-cli -n $before -a flash -d 'Erase, program and verify the sector'
complete -c loadstar-cli -n $before -a backup -d 'Save all twelve sectors into a folder'
complete -c loadstar-cli -n $before -a restore -d 'Flash every sector from a folder'
complete -c loadstar-cli -n $before -a test -d 'Random read test'
complete -c loadstar-cli -n $before -a ports -d 'List the serial devices and COM1'

# After the command: its own options and arguments.
complete -c loadstar-cli -n "__fish_seen_subcommand_from $commands" -s h -l help -d 'Show the help'
complete -c loadstar-cli -n '__fish_seen_subcommand_from program verify flash' -l base -x -a 8000 -d 'Board address the file starts at'
complete -c loadstar-cli -n '__fish_seen_subcommand_from program verify flash' -F -a '(__fish_complete_suffix .hex .ihx .bin)'
complete -c loadstar-cli -n '__fish_seen_subcommand_from flash' -l no-erase -d 'Program without erasing first'
complete -c loadstar-cli -n '__fish_seen_subcommand_from flash' -l no-verify -d 'Do not verify after programming'
complete -c loadstar-cli -n '__fish_seen_subcommand_from upload' -l format -x -a 'hex bin txt' -d 'File format'
complete -c loadstar-cli -n '__fish_seen_subcommand_from backup' -l format -x -a 'hex bin' -d 'File format'
complete -c loadstar-cli -n '__fish_seen_subcommand_from program verify flash' -l format -x -a 'hex bin' -d 'Read the image as'
complete -c loadstar-cli -n '__fish_seen_subcommand_from upload backup' -l read-twice -d 'Read every block until it comes alike twice'
complete -c loadstar-cli -n '__fish_seen_subcommand_from upload' -F
complete -c loadstar-cli -n '__fish_seen_subcommand_from backup restore' -x -a '(__fish_complete_directories)'
complete -c loadstar-cli -n '__fish_seen_subcommand_from mirror' -l follow -d 'Keep showing it until Ctrl-C'
complete -c loadstar-cli -n '__fish_seen_subcommand_from test' -l cycles -x -d 'Run this many cycles'
complete -c loadstar-cli -n '__fish_seen_subcommand_from test' -l duration -x -d 'Stop after this many seconds'
complete -c loadstar-cli -n '__fish_seen_subcommand_from test' -l log -r -F -d 'Also write the log to this file'
