! Reads in.txt as the energy-file reader does: nskip reads of one real, then
! reads of ten reals until the end of the file or an unreadable record, and
! prints what each read gave.  Values start as -7777 (records) and -5555 (the
! skip), so that empty values, which leave a variable as it was, show.
program list_directed_oracle
  implicit none
  real(8) :: a(10), x
  integer :: nskip, i, ios
  character(len=32) :: arg
  call get_command_argument(1, arg)
  read(arg, *) nskip
  a = -7777d0
  x = -5555d0
  open(10, file='in.txt', status='old')
  do i = 1, nskip
    read(10, *, iostat=ios) x
    if (ios /= 0) then
      write(*, '(a,a)') 'skip ', merge('eof  ', 'error', ios < 0)
      stop
    end if
    write(*, '(a)') 'skip ok'
  end do
  do
    read(10, *, iostat=ios) a
    if (ios /= 0) then
      write(*, '(a,a)') 'end ', merge('eof  ', 'error', ios < 0)
      exit
    end if
    write(*, '(a,10(1x,es25.17e3))') 'record', a
  end do
end program
